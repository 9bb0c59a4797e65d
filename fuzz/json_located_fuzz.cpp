// The located reading against JSON::Read on arbitrary text: the same tree,
// the same error text, told line by line, and every offset within the
// text. The linter then reads the same text and must neither crash nor
// point outside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json_output.h"
#include <comsvc/json_located.h>
#include <comsvc/json_reader.h>
#include <comsvc/json_script_lint.h>
#include <comsvc/utf8.h>
#include "fuzz/fuzz_support.h"

namespace {

using comsvc::fuzz::Check;

void CheckWithin(const comsvc::JSON::ValueLocation& where, size_t length) {
  Check(where.key <= length && where.value <= length);
  for (const auto& element : where.elements) CheckWithin(element, length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string text = comsvc::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto [read, errors] = comsvc::JSON::Read(text);
  const comsvc::JSON::LocatedDocument located(text);
  Check(located.Errors() == errors);
  Check(located.Root().Kind() == read.Kind());
  if (!read.IsEmpty()) Check(comsvc::cli::TypedJson(located.Root()) == comsvc::cli::TypedJson(read));
  std::u16string joined;
  for (const auto& line : located.ErrorLines()) {
    joined += line.text;
    if (line.text != u"Invalid JSON") joined += u"\r\n";
    Check(line.offset <= text.size());
  }
  Check(joined == errors);
  if (errors.empty()) CheckWithin(located.RootLocation(), text.size());

  const std::u16string_view scripts[] = {text};
  const auto last = located.PositionOf(text.size());
  for (const comsvc::LintFinding& finding : comsvc::LintScripts(scripts)) {
    Check(finding.position.line >= 1 && finding.position.line <= last.line && finding.position.column >= 1);
  }
  return 0;
}
