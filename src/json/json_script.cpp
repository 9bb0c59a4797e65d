#include <comsvc/json_script.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include <comsvc/dialogs.h>
#include <comsvc/locale.h>
#include <comsvc/value_text.h>
#include <comsvc/string_builder.h>

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

// Calls at depths 1 to 41 render; deeper ones give kNestingError instead.
constexpr int32_t kMaxLevel = 40;
constexpr std::u16string_view kNestingError = u"ERROR: Nesting level exceeded.";
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

bool IsContainer(const Value& value) { return value.IsObject() || value.IsArray(); }

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
  if (!type) return false;
  if (*type == u"eq") return platform::LowerCase(value1) == platform::LowerCase(value2);
  const int order = value1.compare(value2);
  if (*type == u"gt") return order > 0;
  if (*type == u"lt") return order < 0;
  if (*type == u"gte") return order >= 0;
  if (*type == u"lte") return order <= 0;
  return false;
}

// "set" names a variable by the raw "name" value, "get" by its text form, so
// a key is a tag for the name's kind followed by the name's text: the text
// "5" and the number 5 are different variables, and a "get" meets only names
// that were texts. A container names itself (by identity), as no "get" can
// ask for it.
std::u16string VariableKey(const Value& name) {
  switch (name.Kind()) {
    case ValueKind::kString: return u'$' + std::u16string(name.AsString());
    case ValueKind::kInteger:
    case ValueKind::kLong:
    case ValueKind::kDouble:
      return u'#' + platform::DefaultText(name.NumberValue(), platform::Locale::kInvariant);
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

// "<%" KEY "(" arguments ")%>": a text argument as it is, the text forms of
// an object's member values joined by ",", nothing for an array.
void WriteDirective(std::u16string_view key, const Value& value, cStringBuilder& out) {
  out.Append(u"<%");
  out.Append(platform::UpperCase(key));
  out.Append(u"(");
  if (value.IsString()) {
    out.Append(value.AsString());
  } else if (value.IsObject()) {
    bool first = true;
    for (const auto& member : value.AsObject()->Members()) {
      if (!first) out.Append(u",");
      out.Append(TextForm(member.second));
      first = false;
    }
  }
  out.Append(u")%>");
}

}  // namespace

std::u16string cJSONScript::Eval(const std::u16string& sJSON) {
  return RaisingOutOfMemory([&] { return EvalText(sJSON); });
}

std::u16string cJSONScript::EvalText(const std::u16string& sJSON) {
  const Value root = JSON::ReadJson(sJSON);
  const std::u16string errors = JSON::ReaderErrors();
  if (!errors.empty() || !IsContainer(root)) {
    platform::MessageBox(errors, std::u16string(kParserErrorTitle), platform::BoxIcon::kExclamation);
    return {};
  }
  // A script's elements are taken by position, which an object's members
  // do not have.
  if (root.IsObject()) {
    if (root.AsObject()->Count() > 0) Raise(kWrongKind);
    return {};
  }
  cStringBuilder out;
  for (const Value& element : root.AsArray()->Items()) {
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
  return out.TakeString();
}

std::u16string cJSONScript::ExecCommand(const Value& obj) {
  return RaisingOutOfMemory([&] {
    cStringBuilder out;
    Render(obj, out);
    return out.TakeString();
  });
}

// One ExecCommand call, appending to the caller's output rather than to a
// builder of its own: the text is the same and nothing is copied twice.
void cJSONScript::Render(const Value& obj, cStringBuilder& out) {
  if (m_Level > kMaxLevel) {
    out.Append(kNestingError);
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
    case ValueKind::kArray:
      for (const Value& item : obj.AsArray()->Items()) Render(item, out);
      break;
    case ValueKind::kObject: RunCommandObject(*obj.AsObject(), out); break;
  }
}

void cJSONScript::RunCommandObject(const Dictionary& commands, cStringBuilder& out) {
  for (const auto& [key, value] : commands.Members()) RunStep(key, value, out);
}

void cJSONScript::RunStep(std::u16string_view key, const Value& value, cStringBuilder& out) {
  static constexpr std::pair<std::u16string_view, StepFunction> kSteps[] = {
      {u"alert", &cJSONScript::Alert}, {u"input", &cJSONScript::Input}, {u"switch", &cJSONScript::Switch},
      {u"set", &cJSONScript::Set},     {u"get", &cJSONScript::Get},     {u"if", &cJSONScript::If},
  };
  if (value.IsNull()) Raise(kNullGiven);
  if (!value.IsString() && !IsContainer(value)) Raise(kContainerMissing);
  const std::u16string command = platform::LowerCase(key);
  if (command == u"return") {
    if (!value.IsString()) Raise(kWrongKind);
    out.Append(value.AsString());
    return;
  }
  for (const auto& [name, step] : kSteps) {
    if (command != name) continue;
    if (value.IsString()) Raise(kContainerMissing);
    (this->*step)(value, out);
    return;
  }
  WriteDirective(key, value, out);
}

void cJSONScript::Alert(const Value& args, cStringBuilder&) {
  const std::u16string message = ExecCommand(Member(args, u"message"));
  const std::u16string title = ExecCommand(Member(args, u"title"));
  platform::MessageBox(message, title, platform::BoxIcon::kInformation);
}

void cJSONScript::Input(const Value& args, cStringBuilder& out) {
  const std::u16string prompt = ExecCommand(Member(args, u"prompt"));
  const std::u16string title = ExecCommand(Member(args, u"title"));
  const std::u16string default_text = ExecCommand(Member(args, u"default"));
  out.Append(platform::InputBox(prompt, title, default_text));
}

// "default" is evaluated first and always, so its effects happen even when a
// case matches. Items are checked as they are reached; the first match ends
// the search.
void cJSONScript::Switch(const Value& args, cStringBuilder& out) {
  std::u16string result = ExecCommand(Member(args, u"default"));
  const std::u16string selector = platform::LowerCase(ExecCommand(Member(args, u"case")));
  const Value items = Member(args, u"items");
  RequireContainer(items, ValueKind::kArray);
  for (const Value& item : items.AsArray()->Items()) {
    RequireContainer(item, ValueKind::kObject);
    const Dictionary& choice = *item.AsObject();
    if (ComparableText(choice.Item(u"case")) == selector) {
      result = ExecCommand(choice.Item(u"return"));
      break;
    }
  }
  out.Append(result);
}

// Whether the name is known is settled before "value" runs; a name that the
// value's own evaluation adds meanwhile makes the store fail.
void cJSONScript::Set(const Value& args, cStringBuilder&) {
  std::u16string key = VariableKey(Member(args, u"name"));
  const bool known = m_Vars.Exists(key);
  std::u16string text = ExecCommand(Member(args, u"value"));
  if (known) {
    // Looked up again: the value's evaluation may have moved the members.
    *m_Vars.Find(key) = Value(std::move(text));
    return;
  }
  static_assert(kNameSetMeanwhile == ErrorNumber::kDuplicateKey, "raised by the dictionary itself");
  m_Vars.Add(std::move(key), Value(std::move(text)));
}

void cJSONScript::Get(const Value& args, cStringBuilder& out) {
  const Value* const text = m_Vars.Find(VariableKey(TextForm(Member(args, u"name"))));
  if (text != nullptr && !text->AsString().empty()) {
    out.Append(text->AsString());
  } else {
    Render(Member(args, u"default"), out);
  }
}

void cJSONScript::If(const Value& args, cStringBuilder& out) {
  const std::u16string value1 = ExecCommand(Member(args, u"value1"));
  const std::u16string value2 = ExecCommand(Member(args, u"value2"));
  const bool holds = Holds(ComparableText(Member(args, u"type")), value1, value2);
  Render(Member(args, holds ? u"true" : u"false"), out);
}

}  // namespace comsvc
