// comsvc's portable number rules beside OLE Automation's conversions, the
// system's own (under en-US): every input agrees unless its row says why not.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include <comsvc/utf8.h>
#include <comsvc/locale.h>
#include "support/runtime_errors.h"

namespace comsvc::platform {
namespace {

constexpr NumberFormat kEnglish{u'.', u','};

// The value's text, or "error N".
template <typename Read>
std::string Outcome(Read read) {
  return testing::ResultOrError(read, [](auto value) { return std::to_string(value); });
}

// What OLE's `convert` (VarR8FromStr, VarI4FromStr) reads `text` as, in the
// same form.
template <typename Number, typename Convert>
std::string OleOutcome(Convert convert, const std::u16string& text) {
  Number value = 0;
  const HRESULT hr = convert(const_cast<OLECHAR*>(reinterpret_cast<const OLECHAR*>(text.c_str())),
                             MAKELCID(0x0409, SORT_DEFAULT), 0, &value);
  if (hr == DISP_E_TYPEMISMATCH) return "error 13";
  if (hr == DISP_E_OVERFLOW) return "error 6";
  return FAILED(hr) ? "failed" : std::to_string(value);
}

struct Row {
  std::u16string text;
  const char* difference;  // why comsvc answers otherwise; nullptr: the same
};

TEST(OleNumbers, ReadingAgreesWithVarR8FromStrAndVarI4FromStr) {
  const Row rows[] = {
      {u"1", nullptr},          {u"+4", nullptr},         {u"-7", nullptr},          {u"1-", nullptr},
      {u"5-", nullptr},         {u"1-2", nullptr},        {u"--1", nullptr},         {u"1e", nullptr},
      {u"1.5e", nullptr},       {u"e5", nullptr},         {u".", nullptr},           {u"-", nullptr},
      {u"", nullptr},           {u"0x10", nullptr},       {u"1d2", nullptr},         {u"Infinity", nullptr},
      {u" 12 ", nullptr},       {u"\t7\t", nullptr},      {u"1e3", nullptr},         {u"1E3", nullptr},
      {u"1e+3", nullptr},       {u"2.5", nullptr},        {u"3.5", nullptr},         {u"-2.5", nullptr},
      {u"0.5", nullptr},        {u"1.5", nullptr},        {u".5", nullptr},          {u"5.", nullptr},
      {u"1,000", nullptr},      {u"2147483647", nullptr}, {u"2147483648", nullptr},  {u"-2147483648", nullptr},
      {u"-2147483649", nullptr}, {u"1e400", nullptr},     {u"4.9e-325", nullptr},    {u"&h10", nullptr},
      {u"&H10", nullptr},       {u"&o17", nullptr},       {u"1 000", nullptr},       {u"1e-3", nullptr},
      {u"0.1", nullptr},        {u"1,2,3", nullptr},      {u"1.2.3", nullptr},       {u"NaN", nullptr},
      {u"\uFF11\uFF12", nullptr},
      {u"1,5", nullptr},
      {u"(5)", "OLE reads accountants' parentheses as a minus sign; comsvc reads numbers only"},
      {u"$5", "OLE skips the locale's currency symbol; comsvc reads numbers only"},
      {u"1.5,3", "OLE takes a grouping separator anywhere, even after the decimal point"},
      {u"12,5.3", nullptr},
      {u"\u00A01", "OLE skips a no-break space as a blank; comsvc's blanks are the ASCII ones"},
  };
  for (const Row& row : rows) {
    // As a double, then as a 32-bit integer.
    const std::string ours = Outcome([&] { return TextToDouble(row.text, kEnglish); }) + " / " +
                             Outcome([&] { return TextToLong(row.text, kEnglish); });
    const std::string ole =
        OleOutcome<double>(VarR8FromStr, row.text) + " / " + OleOutcome<LONG>(VarI4FromStr, row.text);
    if (row.difference) {
      EXPECT_NE(ours, ole) << "no longer differs: " << row.difference;
    } else {
      EXPECT_EQ(ours, ole) << EncodeUtf8(row.text);
    }
  }
}

TEST(OleNumbers, DefaultTextAgreesWithVarBstrFromR8) {
  const double values[] = {0.1, 1e15, 1e16, 123456789012345678.0, 123456789012345.0, 1234567890123456.0, 1.5,
                           -1.5, -0.0, 1e-5, 1e-4, 3.14159265358979, 1.0 / 3, 2.0 / 3, 0.1 + 0.2, 5e-324,
                           1e308, 1.7976931348623157e308, 1e21, 100, 12345.678};
  for (double value : values) {
    BSTR text = nullptr;
    ASSERT_EQ(VarBstrFromR8(value, MAKELCID(0x0409, SORT_DEFAULT), 0, &text), S_OK);
    const std::u16string system(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
    SysFreeString(text);
    EXPECT_EQ(DefaultText(value, kEnglish), system) << value;
  }
}

}  // namespace
}  // namespace comsvc::platform
