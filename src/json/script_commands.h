// What the commands of a script are and what each reads: the evaluator runs
// steps by this table and the linter checks scripts against it, so the two
// cannot disagree about a command, a member name or how a member is taken.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include <comsvc/value.h>

namespace comsvc::script {

// ExecCommand calls nest at most this deep, the outermost being 1; a deeper
// call renders as kNestingError in its value's place.
inline constexpr int32_t kDeepestCall = 41;
inline constexpr std::u16string_view kNestingError = u"ERROR: Nesting level exceeded.";

// The member names that commands read.
namespace member {
inline constexpr std::u16string_view kMessage = u"message";
inline constexpr std::u16string_view kTitle = u"title";
inline constexpr std::u16string_view kPrompt = u"prompt";
inline constexpr std::u16string_view kDefault = u"default";
inline constexpr std::u16string_view kCase = u"case";
inline constexpr std::u16string_view kItems = u"items";
inline constexpr std::u16string_view kReturn = u"return";
inline constexpr std::u16string_view kName = u"name";
inline constexpr std::u16string_view kValue = u"value";
inline constexpr std::u16string_view kValue1 = u"value1";
inline constexpr std::u16string_view kValue2 = u"value2";
inline constexpr std::u16string_view kType = u"type";
inline constexpr std::u16string_view kTrue = u"true";
inline constexpr std::u16string_view kFalse = u"false";
}  // namespace member

// How a command takes one member of its argument object.
enum class Reading {
  kEvaluated,   // rendered (ExecCommand), effects and all
  kRaw,         // as it is, any kind ("set" name)
  kText,        // its plain text form: null, an object or an array fails
  kComparison,  // lowercased plain text form; null stays null and matches
                // nothing, an object or an array fails
  kItems,       // "switch" items: an array of objects, each read as
                // SwitchItemMembers() says
};

struct MemberRead {
  std::u16string_view name;
  Reading reading;
};

enum class Command { kAlert, kInput, kSwitch, kSet, kGet, kIf, kReturn };

struct CommandEntry {
  Command command;
  std::u16string_view name;  // lowercase, as a key names it in any case
  // "return" takes a text and fails on an argument object; every other
  // command takes an argument object and fails on a text.
  bool takes_text;
  std::span<const MemberRead> members;  // in the order the command reads them
};

// The command that a lowercased key names; none for a directive.
const CommandEntry* FindCommand(std::u16string_view lowercased_key);
std::span<const CommandEntry> Commands();

// The members of each "switch" item.
std::span<const MemberRead> SwitchItemMembers();

// The comparisons of "if", by the lowercased text of its "type". Any other
// type never holds.
enum class Comparison { kEq, kGt, kLt, kGte, kLte };
std::optional<Comparison> FindComparison(std::u16string_view lowercased_type);
std::span<const std::u16string_view> ComparisonNames();

inline bool IsContainer(const Value& value) { return value.IsObject() || value.IsArray(); }

// The key a variable is kept under. "set" names a variable by the raw
// "name" value, "get" by its text form, so a key is a tag for the name's
// kind followed by the name's text: the text "5" and the number 5 are
// different variables, and a "get" meets only names that were texts. A
// container names itself (by identity), as no "get" can ask for it.
std::u16string VariableKey(const Value& name);

}  // namespace comsvc::script
