#include "json/script_commands.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

#include <comsvc/utf8.h>

namespace comsvc::script {
namespace {

using enum Reading;
namespace m = member;

constexpr MemberRead kAlertReads[] = {{m::kMessage, kEvaluated}, {m::kTitle, kEvaluated}};
constexpr MemberRead kInputReads[] = {{m::kPrompt, kEvaluated}, {m::kTitle, kEvaluated}, {m::kDefault, kEvaluated}};
constexpr MemberRead kSwitchReads[] = {{m::kDefault, kEvaluated}, {m::kCase, kEvaluated}, {m::kItems, kItems}};
constexpr MemberRead kSetReads[] = {{m::kName, kRaw}, {m::kValue, kEvaluated}};
// "default" only when the name holds no text.
constexpr MemberRead kGetReads[] = {{m::kName, kText}, {m::kDefault, kEvaluated}};
// "true" or "false", as the comparison comes out.
constexpr MemberRead kIfReads[] = {{m::kValue1, kEvaluated},
                                   {m::kValue2, kEvaluated},
                                   {m::kType, kComparison},
                                   {m::kTrue, kEvaluated},
                                   {m::kFalse, kEvaluated}};
// "return" only for the first item whose case matches.
constexpr MemberRead kSwitchItemReads[] = {{m::kCase, kComparison}, {m::kReturn, kEvaluated}};

constexpr CommandEntry kCommands[] = {
    {Command::kAlert, u"alert", false, kAlertReads},
    {Command::kInput, u"input", false, kInputReads},
    {Command::kSwitch, u"switch", false, kSwitchReads},
    {Command::kSet, u"set", false, kSetReads},
    {Command::kGet, u"get", false, kGetReads},
    {Command::kIf, u"if", false, kIfReads},
    {Command::kReturn, u"return", true, {}},
};

constexpr std::u16string_view kComparisonNames[] = {u"eq", u"gt", u"lt", u"gte", u"lte"};

// Numbers name the same variable only when their values are equal: the
// shortest text that reads back as a double tells every value apart, where
// the 15 digits of the plain text form would not (1 and 1.0000000000000002).
std::u16string NumberName(double value) {
  char text[32];
  char* const end = std::to_chars(text, text + sizeof text, value == 0 ? 0.0 : value).ptr;  // -0 is 0
  return std::u16string(text, end);
}

}  // namespace

const CommandEntry* FindCommand(std::u16string_view lowercased_key) {
  const auto found = std::ranges::find(kCommands, lowercased_key, &CommandEntry::name);
  return found == std::end(kCommands) ? nullptr : found;
}

std::span<const CommandEntry> Commands() { return kCommands; }

std::span<const MemberRead> SwitchItemMembers() { return kSwitchItemReads; }

std::optional<Comparison> FindComparison(std::u16string_view lowercased_type) {
  const auto found = std::ranges::find(kComparisonNames, lowercased_type);
  if (found == std::end(kComparisonNames)) return std::nullopt;
  return static_cast<Comparison>(found - std::begin(kComparisonNames));
}

std::span<const std::u16string_view> ComparisonNames() { return kComparisonNames; }

std::u16string VariableKey(const Value& name) {
  switch (name.Kind()) {
    case ValueKind::kString: return u'$' + std::u16string(name.AsString());
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kDouble: return u'#' + NumberName(name.NumberValue());
    case ValueKind::kBoolean: return name.AsBoolean() ? u"?true" : u"?false";
    case ValueKind::kNull: return u"~null";
    case ValueKind::kEmpty: return u"~empty";
    case ValueKind::kObject:
      return u'@' + Utf8ToUtf16(std::to_string(reinterpret_cast<uintptr_t>(name.AsObject().get())));
    case ValueKind::kArray:
      return u'@' + Utf8ToUtf16(std::to_string(reinterpret_cast<uintptr_t>(name.AsArray().get())));
  }
  return u"~empty";
}

}  // namespace comsvc::script
