// comsvc's portable number rules beside OLE Automation's conversions, the
// system's own (under en-US): every input agrees unless its row says why not.
#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

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

// A text as comsvc reads it and as OLE does, each as a double, then as a
// 32-bit integer.
std::pair<std::string, std::string> BothReadings(const std::u16string& text) {
  return {Outcome([&] { return TextToDouble(text, kEnglish); }) + " / " +
              Outcome([&] { return TextToLong(text, kEnglish); }),
          OleOutcome<double>(VarR8FromStr, text) + " / " + OleOutcome<LONG>(VarI4FromStr, text)};
}

TEST(OleNumbers, ReadingAgreesWithVarR8FromStrAndVarI4FromStr) {
  for (const std::u16string text :
       {u"1", u"+4", u"-7", u"1-", u"5-", u"1-2", u"--1", u"1e", u"1.5e", u"e5", u".", u"-", u"", u"0x10", u"1d2",
        u"Infinity", u" 12 ", u"\t7\t", u"1e3", u"1E3", u"1e+3", u"2.5", u"3.5", u"-2.5", u"0.5", u"1.5", u".5", u"5.",
        u"1,000", u"2147483647", u"2147483648", u"-2147483648", u"-2147483649", u"1e400", u"4.9e-325", u"&h10",
        u"&H10", u"&o17", u"1 000", u"1e-3", u"0.1", u"1,2,3", u"1.2.3", u"NaN", u"\uFF11\uFF12", u"1,5", u"12,5.3"}) {
    const auto [ours, ole] = BothReadings(text);
    EXPECT_EQ(ours, ole) << EncodeUtf8(text);
  }
  // Where comsvc answers otherwise, and why.
  const std::pair<std::u16string, const char*> differences[] = {
      {u"(5)", "OLE reads accountants' parentheses as a minus sign; comsvc reads numbers only"},
      {u"$5", "OLE skips the locale's currency symbol; comsvc reads numbers only"},
      {u"1.5,3", "OLE takes a grouping separator anywhere, even after the decimal point"},
      {u"\u00A01", "OLE skips a no-break space as a blank; comsvc's blanks are the ASCII ones"},
  };
  for (const auto& [text, why] : differences) {
    const auto [ours, ole] = BothReadings(text);
    EXPECT_NE(ours, ole) << "no longer differs: " << why;
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
