#include <comsvc/json_script.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include <comsvc/dialogs.h>
#include <comsvc/locale.h>
#include <comsvc/value_text.h>
#include <comsvc/string_builder.h>

#include "json/script_commands.h"

namespace comsvc {
namespace {

// How a failing script reaches its caller: each kind of failure raises the
// platform's own runtime error for what went wrong.
//
//   94  Invalid use of Null  a null given as a step, a "get" name, a
//                            directive argument, "items" or an item of
//                            "switch"
//   424 Object required      a step that needs an argument object ("alert",
//                            "input", "switch", "set", "get", "if") given a
//                            text; a step given a number, a Boolean or
//                            nothing; "items" of "switch", or one of its
//                            items, that is not a container at all
//   13  Type mismatch        a container where a text is needed ("return",
//                            a "get" name, an "if" type, an item's "case", a
//                            directive argument); a container of the other
//                            kind ("items" an object, an item an array); a
//                            script element that is a number, a Boolean or
//                            nothing; a script that is an object with members
//   457 duplicate key        a "set" whose own "value" set its name first
constexpr ErrorNumber kNullGiven = ErrorNumber::kInvalidUseOfNull;
constexpr ErrorNumber kContainerMissing = ErrorNumber::kObjectRequired;
constexpr ErrorNumber kWrongKind = ErrorNumber::kTypeMismatch;
constexpr ErrorNumber kNameSetMeanwhile = ErrorNumber::kDuplicateKey;

constexpr std::u16string_view kParserErrorTitle = u"Parser Error";

// Holds one level of m_Level for a rendering and gives it back however the
// rendering ends, a raised failure included.
class LevelScope {
 public:
  explicit LevelScope(int32_t& level) : level_(level) { ++level_; }
  ~LevelScope() { --level_; }
  LevelScope(const LevelScope&) = delete;
  LevelScope& operator=(const LevelScope&) = delete;

 private:
  int32_t& level_;
};

using script::IsContainer;

void RequireContainer(const Value& value, ValueKind kind) {
  if (value.Kind() == kind) return;
  if (value.IsNull()) Raise(kNullGiven);
  Raise(IsContainer(value) ? kWrongKind : kContainerMissing);
}

// The plain text form: a number keeps the locale's decimal separator.
std::u16string TextForm(const Value& value) {
  if (value.IsNull()) Raise(kNullGiven);
  if (IsContainer(value)) Raise(kWrongKind);
  return platform::PlainText(value);
}

// The lowercased text form for a comparison. A null has none and stays null
// (nullopt), which equals nothing.
std::optional<std::u16string> ComparableText(const Value& value) {
  if (value.IsNull()) return std::nullopt;
  return platform::LowerCase(TextForm(value));
}

// A member of an argument object by exact name; absent members, and every
// member of an array, read as the empty value.
Value Member(const Value& args, std::u16string_view name) {
  return args.IsObject() ? args.AsObject()->Item(name) : Value();
}

// Numbers render with "." as the decimal separator whatever the locale.
std::u16string NumberText(const Value& number) {
  std::u16string text = number.Kind() == ValueKind::kDouble
                            ? platform::DefaultText(number.AsDouble())
                            : platform::DefaultText(static_cast<int32_t>(number.NumberValue()));
  std::replace(text.begin(), text.end(), u',', u'.');
  return text;
}

// Whether "if" holds for the lowercased "type". Apart from "eq", the texts
// compare as they are, by code unit, a proper beginning being the smaller.
bool Holds(const std::optional<std::u16string>& type, const std::u16string& value1,
           const std::u16string& value2) {
  const std::optional<script::Comparison> comparison = type ? script::FindComparison(*type) : std::nullopt;
  if (!comparison) return false;
  switch (*comparison) {
    case script::Comparison::kEq: return platform::LowerCase(value1) == platform::LowerCase(value2);
    case script::Comparison::kGt: return value1.compare(value2) > 0;
    case script::Comparison::kLt: return value1.compare(value2) < 0;
    case script::Comparison::kGte: return value1.compare(value2) >= 0;
    case script::Comparison::kLte: return value1.compare(value2) <= 0;
  }
  return false;
}

// A variable's name as an event shows it: the text form where it has one.
std::u16string NameText(const Value& name) {
  if (name.IsNull() || IsContainer(name)) return std::u16string(name.IsNull() ? u"null" : name.TypeName());
  return platform::PlainText(name);
}

// Keeps the path one step longer while a step runs.
class PathScope {
 public:
  PathScope(std::vector<JSON::PathStep>& path, JSON::PathStep step) : path_(path) { path_.push_back(step); }
  ~PathScope() { path_.pop_back(); }
  PathScope(const PathScope&) = delete;
  PathScope& operator=(const PathScope&) = delete;

 private:
  std::vector<JSON::PathStep>& path_;
};

}  // namespace

template <typename Work>
decltype(auto) cJSONScript::Observed(Work&& work) {
  if (!observer_) return work();
  try {
    return work();
  } catch (...) {
    NoteFailure();
    throw;
  }
}

template <typename Work>
decltype(auto) cJSONScript::At(JSON::PathStep step, Work&& work) {
  if (!observer_) return work();
  PathScope scope(path_, step);
  return Observed(std::forward<Work>(work));
}

// Called while a failure leaves a step: the innermost step it leaves is
// where it happened; the steps around it only pass it on. Anything but a
// runtime error or memory running out passes on untold.
void cJSONScript::NoteFailure() {
  if (std::exchange(failure_noted_, true)) return;
  ScriptEvent event{.kind = ScriptEvent::Kind::kFailure};
  std::u16string description;
  try {
    throw;
  } catch (const RuntimeError& e) {
    event.number = e.Number();
    description = Utf8ToUtf16(e.Description());
  } catch (const std::bad_alloc&) {
    event.number = static_cast<int32_t>(ErrorNumber::kOutOfMemory);
    description = Utf8ToUtf16(ErrorDescription(ErrorNumber::kOutOfMemory));
  }
  event.result = description;
  Notify(event);
}

void cJSONScript::Notify(ScriptEvent event) {
  event.path = path_;
  observer_(event);
}

std::u16string cJSONScript::Eval(const std::u16string& sJSON) {
  failure_noted_ = false;
  return RaisingOutOfMemory([&] { return Observed([&] { return EvalText(sJSON); }); });
}

std::u16string cJSONScript::EvalText(const std::u16string& sJSON) {
  const Value root = JSON::ReadJson(sJSON);
  const std::u16string errors = JSON::ReaderErrors();
  if (!errors.empty() || !IsContainer(root)) {
    const std::u16string title(kParserErrorTitle);
    platform::MessageBox(errors, title, platform::BoxIcon::kExclamation);
    if (observer_) Notify({.kind = ScriptEvent::Kind::kMessageBox, .text = errors, .title = title});
    return {};
  }
  // A script's elements are taken by position, which an object's members
  // do not have.
  if (root.IsObject()) {
    if (root.AsObject()->Count() > 0) Raise(kWrongKind);
    return {};
  }
  cStringBuilder out;
  const std::span<const Value> elements = root.AsArray()->Items();
  for (size_t i = 0; i < elements.size(); ++i) {
    At(JSON::PathStep::Item(i), [&] { WriteElement(elements[i], out); });
  }
  return out.TakeString();
}

void cJSONScript::WriteElement(const Value& element, cStringBuilder& out) {
  if (element.IsNull()) {
    out.Append(u"null");
  } else if (element.IsString()) {
    out.Append(element.AsString());
  } else if (IsContainer(element)) {
    Render(element, out);
  } else {
    Raise(kWrongKind);
  }
}

std::u16string cJSONScript::ExecCommand(const Value& obj) {
  if (m_Level == 0) failure_noted_ = false;
  return RaisingOutOfMemory([&] {
    cStringBuilder out;
    Render(obj, out);
    return out.TakeString();
  });
}

// One ExecCommand call, appending to the caller's output rather than to a
// builder of its own: the text is the same and nothing is copied twice.
void cJSONScript::Render(const Value& obj, cStringBuilder& out) {
  if (m_Level >= script::kDeepestCall) {
    out.Append(script::kNestingError);
    return;
  }
  LevelScope level(m_Level);
  switch (obj.Kind()) {
    case ValueKind::kNull: out.Append(u"null"); break;
    case ValueKind::kBoolean: out.Append(obj.AsBoolean() ? u"true" : u"false"); break;
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kDouble: out.Append(NumberText(obj)); break;
    case ValueKind::kString: out.Append(obj.AsString()); break;
    case ValueKind::kEmpty: break;
    case ValueKind::kArray: {
      const std::span<const Value> items = obj.AsArray()->Items();
      for (size_t i = 0; i < items.size(); ++i) At(JSON::PathStep::Item(i), [&] { Render(items[i], out); });
      break;
    }
    case ValueKind::kObject: RunCommandObject(*obj.AsObject(), out); break;
  }
}

void cJSONScript::RunCommandObject(const Dictionary& commands, cStringBuilder& out) {
  for (const Dictionary::Member& step : commands.Members()) {
    At(JSON::PathStep::Member(step.first), [&] { RunStep(step.first, step.second, out); });
  }
}

// Watched, a step writes into a builder of its own, so that its event can
// tell its output.
void cJSONScript::RunStep(std::u16string_view key, const Value& value, cStringBuilder& out) {
  if (!observer_) return Step(key, value, out);
  cStringBuilder own;
  Step(key, value, own);
  const std::u16string result = own.TakeString();
  Notify({.kind = ScriptEvent::Kind::kStep, .command = key, .result = result});
  out.Append(result);
}

void cJSONScript::Step(std::u16string_view key, const Value& value, cStringBuilder& out) {
  if (value.IsNull()) Raise(kNullGiven);
  if (!value.IsString() && !IsContainer(value)) Raise(kContainerMissing);
  const script::CommandEntry* const command = script::FindCommand(platform::LowerCase(key));
  if (command == nullptr) return Directive(key, value, out);
  if (command->takes_text != value.IsString()) Raise(value.IsString() ? kContainerMissing : kWrongKind);
  switch (command->command) {
    case script::Command::kAlert: return Alert(value, out);
    case script::Command::kInput: return Input(value, out);
    case script::Command::kSwitch: return Switch(value, out);
    case script::Command::kSet: return Set(value, out);
    case script::Command::kGet: return Get(value, out);
    case script::Command::kIf: return If(value, out);
    case script::Command::kReturn: return out.Append(value.AsString());
  }
}

std::u16string cJSONScript::Evaluate(const Value& args, std::u16string_view name) {
  return At(JSON::PathStep::Member(name), [&] { return ExecCommand(Member(args, name)); });
}

void cJSONScript::RenderMember(const Value& args, std::u16string_view name, cStringBuilder& out) {
  At(JSON::PathStep::Member(name), [&] { Render(Member(args, name), out); });
}

// "<%" KEY "(" arguments ")%>".
void cJSONScript::Directive(std::u16string_view key, const Value& value, cStringBuilder& out) {
  const std::u16string name = platform::UpperCase(key);
  const std::u16string arguments = DirectiveArguments(value);
  const std::u16string directive = u"<%" + name + u"(" + arguments + u")%>";
  out.Append(directive);
  if (observer_) {
    Notify({.kind = ScriptEvent::Kind::kDirective, .command = key, .name = name, .value = arguments,
            .result = directive});
  }
}

// A text argument as it is, the text forms of an object's member values
// joined by ",", nothing for an array.
std::u16string cJSONScript::DirectiveArguments(const Value& value) {
  if (value.IsString()) return std::u16string(value.AsString());
  std::u16string arguments;
  if (!value.IsObject()) return arguments;
  bool first = true;
  for (const Dictionary::Member& argument : value.AsObject()->Members()) {
    if (!first) arguments += u',';
    arguments += At(JSON::PathStep::Member(argument.first), [&] { return TextForm(argument.second); });
    first = false;
  }
  return arguments;
}

void cJSONScript::Alert(const Value& args, cStringBuilder&) {
  const std::u16string message = Evaluate(args, script::member::kMessage);
  const std::u16string title = Evaluate(args, script::member::kTitle);
  platform::MessageBox(message, title, platform::BoxIcon::kInformation);
  if (observer_) Notify({.kind = ScriptEvent::Kind::kMessageBox, .text = message, .title = title});
}

void cJSONScript::Input(const Value& args, cStringBuilder& out) {
  const std::u16string prompt = Evaluate(args, script::member::kPrompt);
  const std::u16string title = Evaluate(args, script::member::kTitle);
  const std::u16string default_text = Evaluate(args, script::member::kDefault);
  const std::u16string answer = platform::InputBox(prompt, title, default_text);
  if (observer_) {
    Notify({.kind = ScriptEvent::Kind::kInputBox, .text = prompt, .title = title, .default_text = default_text,
            .result = answer});
  }
  out.Append(answer);
}

// "default" is evaluated first and always, so its effects happen even when a
// case matches. Items are checked as they are reached; the first match ends
// the search.
void cJSONScript::Switch(const Value& args, cStringBuilder& out) {
  std::u16string result = Evaluate(args, script::member::kDefault);
  const std::u16string selector = platform::LowerCase(Evaluate(args, script::member::kCase));
  const Value items = Member(args, script::member::kItems);
  At(JSON::PathStep::Member(script::member::kItems), [&] {
    RequireContainer(items, ValueKind::kArray);
    const std::span<const Value> choices = items.AsArray()->Items();
    for (size_t i = 0; i < choices.size(); ++i) {
      if (At(JSON::PathStep::Item(i), [&] { return Choose(choices[i], selector, result); })) break;
    }
  });
  out.Append(result);
}

// Whether a "switch" item's case matches the selector; when it does, its
// evaluated "return" becomes the result.
bool cJSONScript::Choose(const Value& item, const std::u16string& selector, std::u16string& result) {
  RequireContainer(item, ValueKind::kObject);
  const Value choice_case = item.AsObject()->Item(script::member::kCase);
  if (At(JSON::PathStep::Member(script::member::kCase), [&] { return ComparableText(choice_case); }) != selector) {
    return false;
  }
  result = Evaluate(item, script::member::kReturn);
  return true;
}

// Whether the name is known is settled before "value" runs; a name that the
// value's own evaluation adds meanwhile makes the store fail.
void cJSONScript::Set(const Value& args, cStringBuilder&) {
  const Value name = Member(args, script::member::kName);
  std::u16string key = script::VariableKey(name);
  const bool known = m_Vars->Exists(key);
  const std::u16string text = Evaluate(args, script::member::kValue);
  if (known) {
    // Looked up again: the value's evaluation may have moved the members.
    *m_Vars->Find(key) = Value(text);
  } else {
    static_assert(kNameSetMeanwhile == ErrorNumber::kDuplicateKey, "raised by the dictionary itself");
    m_Vars->Add(std::move(key), Value(text));
  }
  if (observer_) Notify({.kind = ScriptEvent::Kind::kSet, .name = NameText(name), .value = text});
}

void cJSONScript::Get(const Value& args, cStringBuilder& out) {
  const std::u16string name =
      At(JSON::PathStep::Member(script::member::kName), [&] { return TextForm(Member(args, script::member::kName)); });
  const Value* const text = m_Vars->Find(script::VariableKey(Value(name)));
  if (observer_) {
    Notify({.kind = ScriptEvent::Kind::kGet, .name = name, .value = text ? text->AsString() : std::u16string_view(),
            .found = text != nullptr});
  }
  if (text != nullptr && !text->AsString().empty()) {
    out.Append(text->AsString());
  } else {
    RenderMember(args, script::member::kDefault, out);
  }
}

void cJSONScript::If(const Value& args, cStringBuilder& out) {
  const std::u16string value1 = Evaluate(args, script::member::kValue1);
  const std::u16string value2 = Evaluate(args, script::member::kValue2);
  const std::optional<std::u16string> type = At(JSON::PathStep::Member(script::member::kType),
                                                [&] { return ComparableText(Member(args, script::member::kType)); });
  RenderMember(args, Holds(type, value1, value2) ? script::member::kTrue : script::member::kFalse, out);
}

}  // namespace comsvc
