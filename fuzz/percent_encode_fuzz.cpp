// PercentEncode of arbitrary text under every supported code page: the
// output holds only ASCII letters, digits and "%" followed by two upper-case
// hexadecimal digits, and decodes back to the code-page bytes of each
// character; a text beyond 32767 characters raises error 6.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include <comsvc/runtime_error.h>
#include "fuzz/fuzz_support.h"
#include <comsvc/url_helper.h>
#include <comsvc/code_page.h>

namespace {

constexpr int kCodePages[] = {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258};
constexpr size_t kMaxText = 32767;

}  // namespace

// Input: one byte choosing the code page, then the text as UTF-16LE code
// units. A last unit from F000 on asks for the text repeated to a length
// around the limit: 32700 plus its low byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace comsvc;
  using namespace comsvc::fuzz;
  if (size == 0) return -1;
  const platform::CodePage code_page(kCodePages[data[0] % std::size(kCodePages)]);
  platform::CodePage::SetCurrent(code_page.Number());
  std::u16string text;
  for (size_t i = 1; i + 1 < size; i += 2) text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
  if (!text.empty() && text.back() >= 0xF000) {
    const size_t length = 32700 + (text.back() & 0xFF);
    text.pop_back();
    while (!text.empty() && text.size() < length) text += text;
    text.resize(std::min(text.size(), length));
  }

  std::u16string encoded;
  try {
    encoded = url_helper::PercentEncode(text);
  } catch (const RuntimeError& e) {
    Check(e.Number() == 6 && text.size() > kMaxText);
    return 0;
  }
  Check(text.size() <= kMaxText);
  Check(PercentDecoded(encoded) == CharacterBytes(text, code_page));
  return 0;
}
