#include <comsvc/json_script_lint.h>

#include <algorithm>
#include <optional>
#include <set>
#include <tuple>

#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/value_text.h>

#include "json/near_names.h"
#include "json/script_commands.h"

namespace comsvc {
namespace {

using script::CommandEntry;
using script::MemberRead;
using script::Reading;
namespace member = script::member;

std::u16string Quoted(std::u16string_view text) { return u"\"" + std::u16string(text) + u"\""; }

std::u16string KindName(const Value& value) {
  switch (value.Kind()) {
    case ValueKind::kEmpty: return u"empty";
    case ValueKind::kNull: return u"null";
    case ValueKind::kBoolean: return u"a Boolean";
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kDouble: return u"a number";
    case ValueKind::kString: return u"a text";
    case ValueKind::kObject: return u"an object";
    case ValueKind::kArray: return u"an array";
  }
  return u"empty";
}

using script::IsContainer;

// The lowercased plain text form that "switch" and "if" compare, of a value
// that is no container; none for null, which matches nothing.
std::optional<std::u16string> ComparableText(const Value& value) {
  if (value.IsNull()) return std::nullopt;
  return platform::LowerCase(platform::PlainText(value));
}

// A number, or a text that holds one in the way people write numbers.
bool IsNumeral(const Value& value) {
  if (value.IsNumber()) return true;
  if (!value.IsString()) return false;
  std::u16string_view text = value.AsString();
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) text.remove_prefix(1);
  const auto is_digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  const size_t point = text.find_first_of(u".,");
  const std::u16string_view whole = text.substr(0, point);
  const std::u16string_view fraction = point == text.npos ? u"0" : text.substr(point + 1);
  return !whole.empty() && !fraction.empty() && std::ranges::all_of(whole, is_digit) &&
         std::ranges::all_of(fraction, is_digit);
}

// A member of an object, or of nothing: the value (empty when absent) and
// where it stands (`owner` when absent).
struct Found {
  Value value;
  const JSON::ValueLocation& where;
  bool present;
};

const JSON::ValueLocation& ElementAt(const JSON::ValueLocation& where, size_t index) {
  return index < where.elements.size() ? where.elements[index] : where;
}

Found MemberOf(const Value& args, const JSON::ValueLocation& owner, std::u16string_view name) {
  if (args.IsObject()) {
    const auto members = args.AsObject()->Members();
    for (size_t i = 0; i < members.size(); ++i) {
      if (members[i].first == name) return {members[i].second, ElementAt(owner, i), true};
    }
  }
  return {Value(), owner, false};
}

// A "get" without a default, checked once every script's "set" is known.
struct PendingGet {
  size_t script;
  JSON::TextPosition position;
  std::u16string name;
};

// A "set" whose value is being walked.
struct OpenSet {
  std::u16string key;
  size_t offset;
  std::u16string name;
  bool reported = false;
};

class Linter {
 public:
  void Lint(size_t script, std::u16string_view text) {
    script_ = script;
    // The located reading gives ReadJson's tree and error text (the reader's
    // tests and a fuzz target hold the two together), and where each part
    // of the script stands.
    const JSON::LocatedDocument document(text);
    document_ = &document;
    const Value& root = document.Root();
    if (!document.Errors().empty()) {
      // A text that the reader finds wrong does not run at all: each line
      // of the error text is one finding, and the tree is not looked at.
      for (const auto& line : document.ErrorLines()) Error(line.offset, "parse-error", std::u16string(line.text));
    } else if (root.IsObject() && root.AsObject()->Count() > 0) {
      Error(document.RootLocation().value, "script-shape",
            u"a script is an array: a top-level object with members fails");
    } else if (root.IsArray()) {
      Elements(*root.AsArray(), document.RootLocation());
    }
    document_ = nullptr;
  }

  std::vector<LintFinding> Finish() && {
    for (const PendingGet& get : gets_) {
      if (stored_keys_.contains(script::VariableKey(Value(get.name)))) continue;
      findings_.push_back({get.script, get.position, LintSeverity::kWarning, "unset-variable",
                           u"no \"set\" in these scripts stores " + Quoted(get.name) +
                               u", and this \"get\" has no \"default\": it gives empty text"});
    }
    std::ranges::stable_sort(
        findings_, {}, [](const LintFinding& f) { return std::tuple(f.script, f.position.line, f.position.column); });
    return std::move(findings_);
  }

 private:
  void Report(size_t offset, LintSeverity severity, std::string rule, std::u16string message) {
    findings_.push_back({script_, document_->PositionOf(offset), severity, std::move(rule), std::move(message)});
  }
  void Error(size_t offset, std::string rule, std::u16string message) {
    Report(offset, LintSeverity::kError, std::move(rule), std::move(message));
  }
  void Warning(size_t offset, std::string rule, std::u16string message) {
    Report(offset, LintSeverity::kWarning, std::move(rule), std::move(message));
  }

  void Elements(const Collection& script, const JSON::ValueLocation& where) {
    const auto elements = script.Items();
    for (size_t i = 0; i < elements.size(); ++i) {
      const Value& element = elements[i];
      if (IsContainer(element)) {
        Render(element, ElementAt(where, i), 1);
      } else if (!element.IsNull() && !element.IsString()) {
        Error(ElementAt(where, i).value, "script-shape",
              u"a script's element is a text, null, an object or an array; " + KindName(element) +
                  u" fails");
      }
    }
  }

  // A value that ExecCommand renders as the `depth`th nested call.
  void Render(const Value& value, const JSON::ValueLocation& where, int depth) {
    if (depth > script::kDeepestCall) {
      Error(where.value, "nesting",
            u"nested deeper than " + Utf8ToUtf16(std::to_string(script::kDeepestCall)) + u" levels: renders as " +
                Quoted(script::kNestingError));
      return;
    }
    if (value.IsArray()) {
      const auto items = value.AsArray()->Items();
      for (size_t i = 0; i < items.size(); ++i) Render(items[i], ElementAt(where, i), depth + 1);
    } else if (value.IsObject()) {
      const auto steps = value.AsObject()->Members();
      for (size_t i = 0; i < steps.size(); ++i) Step(steps[i].first, steps[i].second, ElementAt(where, i), depth);
    }
  }

  void Step(std::u16string_view key, const Value& value, const JSON::ValueLocation& where, int depth) {
    if (!value.IsString() && !IsContainer(value)) {
      Error(where.value, "step-value",
            u"a step's value is a text, an object or an array; " + KindName(value) + u" fails");
      return;
    }
    const CommandEntry* const command = script::FindCommand(platform::LowerCase(key));
    if (command == nullptr) return Directive(key, value, where);
    if (command->takes_text != value.IsString()) {
      Error(where.value, "argument-kind",
            Quoted(command->name) +
                (command->takes_text ? u" takes a text, not " : u" takes an argument object, not ") +
                KindName(value));
      return;
    }
    if (!command->takes_text) Arguments(*command, value, where, depth);
  }

  void Directive(std::u16string_view key, const Value& value, const JSON::ValueLocation& where) {
    if (const auto meant = script::LikelyMeant(key, script::Commands())) {
      Warning(where.key, "misspelt-command",
              Quoted(key) + u" is no command: it writes the directive <%" + platform::UpperCase(key) +
                  u"(...)%>; did you mean " + Quoted(*meant) + u"?");
    }
    if (!value.IsObject()) return;
    const auto arguments = value.AsObject()->Members();
    for (size_t i = 0; i < arguments.size(); ++i) {
      const Value& argument = arguments[i].second;
      if (argument.IsNull() || IsContainer(argument)) {
        Error(ElementAt(where, i).value, "directive-argument",
              u"a directive's argument needs a text form; " + KindName(argument) + u" fails");
      }
    }
  }

  void Arguments(const CommandEntry& command, const Value& args, const JSON::ValueLocation& where, int depth) {
    if (command.command == script::Command::kSet) BeginSet(args, where);
    for (const MemberRead& read : command.members) {
      const Found found = MemberOf(args, where, read.name);
      const std::string rule = EncodeUtf8(command.name) + "-" + EncodeUtf8(read.name);
      switch (read.reading) {
        case Reading::kEvaluated:
          if (found.present) Render(found.value, found.where, depth + 1);
          break;
        case Reading::kRaw: break;
        case Reading::kText:
        case Reading::kComparison: NeedsTextForm(command.name, read, found, rule); break;
        case Reading::kItems: Items(found, where, rule, depth); break;
      }
    }
    UnreadMembers(command.name, command.members, args, where);
    switch (command.command) {
      case script::Command::kSet: open_sets_.pop_back(); break;
      case script::Command::kGet: NoteGet(args, where); break;
      case script::Command::kIf: Comparison(args, where); break;
      default: break;
    }
  }

  // kText and kComparison: a container fails; null fails as a text.
  void NeedsTextForm(std::u16string_view owner, const MemberRead& read, const Found& found, const std::string& rule) {
    const bool null_fails = read.reading == Reading::kText;
    if (!IsContainer(found.value) && !(null_fails && found.value.IsNull())) return;
    Error(found.where.value, rule,
          Quoted(owner) + u" needs a text form of " + Quoted(read.name) + u"; " +
              KindName(found.value) + u" fails");
  }

  void UnreadMembers(std::u16string_view owner, std::span<const MemberRead> reads, const Value& args,
                     const JSON::ValueLocation& where) {
    if (!args.IsObject()) return;
    const auto members = args.AsObject()->Members();
    for (size_t i = 0; i < members.size(); ++i) {
      const std::u16string_view name = members[i].first;
      if (std::ranges::find(reads, name, &MemberRead::name) != reads.end()) continue;
      const std::optional<std::u16string_view> meant = script::LikelyMeant(name, reads);
      Warning(ElementAt(where, i).key, "unread-member",
              meant ? Quoted(owner) + u" reads " + Quoted(*meant) + u", not " + Quoted(name) +
                          u" (member names match exactly)"
                    : Quoted(owner) + u" does not read " + Quoted(name));
    }
  }

  void Items(const Found& items, const JSON::ValueLocation& step, const std::string& rule, int depth) {
    if (!items.value.IsArray()) {
      if (items.present) {
        Error(items.where.value, rule,
              u"\"items\" of \"switch\" is " + KindName(items.value) +
                  u", not an array of objects: the step fails");
      } else {
        Error(step.key, rule, u"\"switch\" has no \"items\" array: the step fails");
      }
      return;
    }
    std::vector<std::u16string> cases;
    const auto list = items.value.AsArray()->Items();
    for (size_t i = 0; i < list.size(); ++i) {
      const JSON::ValueLocation& where = ElementAt(items.where, i);
      if (!list[i].IsObject()) {
        Error(where.value, rule,
              u"an item of \"switch\" is an object; " + KindName(list[i]) + u" fails");
        continue;
      }
      for (const MemberRead& read : script::SwitchItemMembers()) {
        const Found found = MemberOf(list[i], where, read.name);
        if (read.reading == Reading::kEvaluated) {
          if (found.present) Render(found.value, found.where, depth + 1);
        } else {
          NeedsTextForm(u"switch", read, found, "switch-" + EncodeUtf8(read.name));
          if (!IsContainer(found.value)) Case(found, cases);
        }
      }
      UnreadMembers(u"switch item", script::SwitchItemMembers(), list[i], where);
    }
  }

  void Case(const Found& item_case, std::vector<std::u16string>& earlier) {
    const size_t offset = item_case.where.value;
    const std::optional<std::u16string> text = ComparableText(item_case.value);
    if (!text) {
      Warning(offset, "unreachable-case", u"a null case matches no selector: this item is never chosen");
    } else if (std::ranges::find(earlier, *text) != earlier.end()) {
      Warning(
          offset, "unreachable-case",
          u"an earlier item has the case " + Quoted(*text) + u" (cases compare lowercased): this item is never chosen");
    } else {
      earlier.push_back(*text);
    }
  }

  void BeginSet(const Value& args, const JSON::ValueLocation& where) {
    const Value name = MemberOf(args, where, member::kName).value;
    std::u16string key = script::VariableKey(name);
    stored_keys_.insert(key);
    for (OpenSet& open : open_sets_) {
      if (open.key != key || std::exchange(open.reported, true)) continue;
      Warning(open.offset, "self-set",
              u"this \"set\" of " + Quoted(open.name) +
                  u" sets the same name in its own \"value\": when the name is new, storing it fails");
    }
    const bool has_text = !name.IsNull() && !IsContainer(name);
    open_sets_.push_back({std::move(key), where.key, has_text ? platform::PlainText(name) : u"", false});
  }

  void NoteGet(const Value& args, const JSON::ValueLocation& where) {
    const Value name = MemberOf(args, where, member::kName).value;
    if (name.IsNull() || IsContainer(name) || MemberOf(args, where, member::kDefault).present) return;
    gets_.push_back({script_, document_->PositionOf(where.key), platform::PlainText(name)});
  }

  void Comparison(const Value& args, const JSON::ValueLocation& where) {
    const Found type = MemberOf(args, where, member::kType);
    if (IsContainer(type.value)) return;  // an error already
    const size_t offset = type.present ? type.where.value : where.key;
    const std::optional<std::u16string> lowered = ComparableText(type.value);
    const auto comparison = lowered ? script::FindComparison(*lowered) : std::nullopt;
    if (!comparison) {
      NeverHolds(type, offset);
    } else if (*comparison != script::Comparison::kEq) {
      const Value value1 = MemberOf(args, where, member::kValue1).value;
      const Value value2 = MemberOf(args, where, member::kValue2).value;
      if (IsNumeral(value1) && IsNumeral(value2)) {
        Warning(offset, "text-comparison",
                Quoted(*lowered) + u" compares " + Quoted(platform::PlainText(value1)) + u" and " +
                    Quoted(platform::PlainText(value2)) +
                    u" as texts, code unit by code unit, not as numbers (the text 10 is less than the text 9)");
      }
    }
  }

  void NeverHolds(const Found& type, size_t offset) {
    std::u16string message = u"this \"if\" never holds: its \"type\" is ";
    if (type.value.IsEmpty() || type.value.IsNull()) {
      message += type.present ? u"null" : u"missing";
    } else {
      const std::u16string text = platform::PlainText(type.value);
      message += Quoted(text) + u", none of eq, gt, lt, gte, lte";
      if (const auto meant = script::LikelyMeant(text, script::ComparisonNames())) {
        message += u"; did you mean " + Quoted(*meant) + u"?";
      }
    }
    Warning(offset, "if-never-holds", message);
  }

  size_t script_ = 0;
  const JSON::LocatedDocument* document_ = nullptr;
  std::vector<LintFinding> findings_;
  std::set<std::u16string> stored_keys_;
  std::vector<PendingGet> gets_;
  std::vector<OpenSet> open_sets_;
};

}  // namespace

std::vector<LintFinding> LintScripts(std::span<const std::u16string_view> scripts) {
  return RaisingOutOfMemory([&] {
    Linter linter;
    for (size_t i = 0; i < scripts.size(); ++i) linter.Lint(i, scripts[i]);
    return std::move(linter).Finish();
  });
}

}  // namespace comsvc
