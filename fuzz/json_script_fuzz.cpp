// Two properties that a wrong evaluator breaks:
//
// - The input's text as a script gives the same outputs, errors and boxes
//   on two fresh instances, one of them watched by an observer that writes
//   out the path of every event (run twice each, the second run seeing the
//   first one's variables): watching changes nothing, and nothing may
//   depend on addresses, on uninitialised memory or on state outside the
//   instance.
// - A script built from the input gives the output that a model of the
//   steps predicts: texts and nulls as themselves, "<%NAME(args)%>" with
//   NAME the key uppercased, "return" its text, "if" by an ordering of its
//   own (an unknown type giving its "false" member), "input" the answers in
//   turn, and "set"/"get" kept in tables of their own (a number name is the
//   same name only for the same value and never meets a text name; a "set"
//   whose value sets its name first raises 457). Command keys come in any
//   letter case. Members with effects are only those always evaluated, so
//   the model follows the script in the order it is written.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <comsvc/dialogs.h>
#include <comsvc/json_path.h>
#include <comsvc/json_script.h>
#include <comsvc/json_script_events.h>
#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/utf8.h>
#include "fuzz/fuzz_support.h"

namespace {

using comsvc::fuzz::Check;
using comsvc::platform::LowerCase;
using comsvc::platform::UpperCase;
using Answers = std::vector<std::optional<std::u16string>>;
using namespace std::string_view_literals;

// Each "set" may join copies of a variable into itself, so output can grow
// exponentially with the script's length; beyond this length inputs only
// measure memory.
constexpr size_t kMaxScript = 512;

const Answers kAnswers = {u"answer", std::nullopt, u"", u"yes"};

// What evaluations on one instance gave: each output or error number, then
// every box shown.
struct Outcome {
  std::vector<std::u16string> outputs;
  std::vector<int32_t> errors;
  std::vector<std::u16string> boxes;
  bool operator==(const Outcome&) const = default;
};

Outcome RunOnFreshInstance(const std::u16string& text, int runs, bool watched) {
  const auto dialogs = std::make_shared<comsvc::platform::ScriptedDialogs>(kAnswers);
  comsvc::platform::SetDialogs(dialogs);
  comsvc::cJSONScript script;
  if (watched) script.Observe([](const comsvc::ScriptEvent& event) { comsvc::JSON::PathText(event.path); });
  Outcome outcome;
  for (int i = 0; i < runs; ++i) {
    try {
      outcome.outputs.push_back(script.Eval(text));
      outcome.errors.push_back(0);
    } catch (const comsvc::RuntimeError& e) {
      outcome.outputs.emplace_back();
      outcome.errors.push_back(e.Number());
    }
  }
  for (const comsvc::platform::DialogRecord& box : dialogs->Records()) {
    outcome.boxes.push_back(static_cast<char16_t>(box.kind) + box.text + u'|' + box.title + u'|' +
                            box.default_text + u'|' + box.answer.value_or(u"(cancel)") + u'|' +
                            static_cast<char16_t>(box.icon));
  }
  return outcome;
}

// Units that matter to the reader and the steps: quotes, escapes, line
// ends, NUL, letters whose case maps, separators of directives, surrogates.
constexpr std::u16string_view kUnits = u"aAbB19 \"\\\n\0<%(),\u00E9\u00C9\u00DF\u0130\u30FB\xD800\xDFFF\uFFFF"sv;

constexpr std::u16string_view kCommands[] = {u"alert", u"input", u"switch", u"set", u"get", u"if", u"return"};

// A number name as the script spells it, and its value.
struct NumberName {
  std::u16string_view json;
  double value;
};
constexpr NumberName kNumberNames[] = {
    {u"5", 5}, {u"5.0", 5}, {u"1", 1}, {u"1.0000000000000002", 1.0000000000000002}, {u"1e15", 1e15},
    {u"1000000000000000.2", 1000000000000000.2}, {u"0", 0}, {u"-0.0", -0.0},
};
constexpr std::u16string_view kTextNames[] = {u"a", u"A", u"5", u"", u"a "};
constexpr std::u16string_view kTypes[] = {u"eq", u"EQ", u"gt", u"Gt", u"lt", u"gte", u"lte", u"LTE", u"ne", u""};

// A member name as the reader reads it: quotes, colons and blanks are
// dropped from names and escapes are not read there, so names are written
// without them, as they are.
std::u16string Name(std::u16string text) {
  constexpr std::u16string_view kDropped = u"\"':\r\n\t ";
  std::erase_if(text, [&](char16_t c) { return kDropped.find(c) != std::u16string_view::npos; });
  return text;
}

std::u16string Quoted(std::u16string_view text) {
  std::u16string json = u"\"";
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      json += u'\\';
      json += c;
    } else if (c < 0x20) {
      static constexpr char16_t kHex[] = u"0123456789ABCDEF";
      json += u"\\u00";
      json += kHex[c >> 4];
      json += kHex[c & 15];
    } else {
      json += c;
    }
  }
  return json + u'"';
}

bool Holds(std::u16string_view type, const std::u16string& value1, const std::u16string& value2) {
  const std::u16string kind = LowerCase(type);
  if (kind == u"eq") return LowerCase(value1) == LowerCase(value2);
  const bool less = std::lexicographical_compare(value1.begin(), value1.end(), value2.begin(), value2.end());
  const bool greater = std::lexicographical_compare(value2.begin(), value2.end(), value1.begin(), value1.end());
  if (kind == u"gt") return greater;
  if (kind == u"lt") return less;
  if (kind == u"gte") return !less;
  if (kind == u"lte") return !greater;
  return false;
}

// Builds a script from the input and the output it must give.
class ScriptModel {
 public:
  explicit ScriptModel(FuzzedDataProvider& input) : input_(input) {}

  std::u16string Build() {
    std::u16string script = u"[";
    for (int i = 0; i < 12 && input_.remaining_bytes() > 0; ++i) script += (i > 0 ? u", " : u"") + Element();
    return script + u"]";
  }
  // The output, or nullopt when the script must raise error 457.
  std::optional<std::u16string> Expected() const { return failed_ ? std::nullopt : std::optional(output_); }

 private:
  std::u16string Text() {
    std::u16string text;
    for (uint8_t b : input_.ConsumeBytes<uint8_t>(input_.ConsumeIntegralInRange(0, 6))) {
      text += kUnits[b % kUnits.size()];
    }
    return text;
  }

  // A command's key in letter cases of the input's choosing.
  std::u16string Key(std::u16string_view command) {
    std::u16string key(command);
    for (char16_t& c : key) c = input_.ConsumeBool() ? UpperCase(std::u16string(1, c))[0] : c;
    return key;
  }

  // Appends to the output unless the script has failed already.
  void Emit(const std::u16string& text) {
    if (!failed_) output_ += text;
  }

  std::u16string Element() {
    switch (input_.ConsumeIntegralInRange(0, 8)) {
      case 0: {
        const std::u16string text = Text();
        Emit(text);
        return Quoted(text);
      }
      case 1: Emit(u"null"); return u"null";
      case 2: return Directive();
      case 3: {
        const std::u16string text = Text();
        Emit(text);
        return u"{" + Quoted(Key(u"return")) + u": " + Quoted(text) + u"}";
      }
      case 4: return If();
      case 5: return Input();
      case 6: return Get();
      case 7: return Set(0);
      default: {
        const std::u16string first = Text(), second = Text();
        Emit(first + second);
        return u"[" + Quoted(first) + u", [" + Quoted(second) + u"]]";
      }
    }
  }

  std::u16string Directive() {
    std::u16string key = Name(Text());
    if (std::find(std::begin(kCommands), std::end(kCommands), LowerCase(key)) != std::end(kCommands)) key += u'x';
    std::u16string value, args;
    switch (input_.ConsumeIntegralInRange(0, 2)) {
      case 0: args = Text(); value = Quoted(args); break;
      case 1: value = u"[" + Quoted(Text()) + u"]"; break;
      default: {
        const std::u16string first = Text(), second = Text();
        const bool flag = input_.ConsumeBool();
        args = first + u"," + second + u"," + (flag ? u"True" : u"False") + u",-7";
        value = u"{m1: " + Quoted(first) + u", m2: " + Quoted(second) + u", m3: " + (flag ? u"true" : u"false") +
                u", m4: -7}";
      }
    }
    Emit(u"<%" + UpperCase(key) + u"(" + args + u")%>");
    return u"{\"" + key + u"\": " + value + u"}";
  }

  std::u16string If() {
    const std::u16string value1 = Text(), value2 = Text(), yes = Text(), no = Text();
    std::u16string type_member;
    bool holds = false;
    switch (input_.ConsumeIntegralInRange(0, 2)) {
      case 0: break;  // no type: never holds
      case 1: type_member = u", type: null"; break;
      default: {
        const std::u16string_view type = input_.PickValueInArray(kTypes);
        type_member = u", type: " + Quoted(type);
        holds = Holds(type, value1, value2);
      }
    }
    Emit(holds ? yes : no);
    return u"{" + Quoted(Key(u"if")) + u": {value1: " + Quoted(value1) + u", value2: " + Quoted(value2) + type_member +
           u", true: " + Quoted(yes) + u", false: " + Quoted(no) + u"}}";
  }

  std::u16string Input() {
    Emit(inputs_ < kAnswers.size() ? kAnswers[inputs_].value_or(u"") : u"");
    ++inputs_;
    return u"{" + Quoted(Key(u"input")) + u": {prompt: " + Quoted(Text()) + u"}}";
  }

  std::u16string Get() {
    const bool number = input_.ConsumeBool();
    const std::u16string name(number ? u"5" : input_.PickValueInArray(kTextNames));
    const std::u16string fallback = Text();
    const auto found = texts_.find(name);
    Emit(found != texts_.end() && !found->second.empty() ? found->second : fallback);
    return u"{" + Quoted(Key(u"get")) + u": {name: " + (number ? name : Quoted(name)) + u", default: " +
           Quoted(fallback) + u"}}";
  }

  // A "set" as the evaluator runs it: whether the name is known is settled
  // first, then the value runs (and may set names), then the text is stored.
  std::u16string Set(int depth) {
    const bool number = input_.ConsumeBool();
    const NumberName number_name = input_.PickValueInArray(kNumberNames);
    const std::u16string text_name(input_.PickValueInArray(kTextNames));
    const bool known = number ? numbers_.count(number_name.value) > 0 : texts_.count(text_name) > 0;
    std::u16string value_json;
    const std::u16string saved = output_;
    switch (depth < 2 ? input_.ConsumeIntegralInRange(0, 2) : 0) {
      case 0: {
        const std::u16string text = Text();
        Emit(text);
        value_json = Quoted(text);
        break;
      }
      case 1: value_json = Get(); break;
      default: {
        const std::u16string inner = Set(depth + 1), tail = Text();
        Emit(tail);
        value_json = u"[" + inner + u", " + Quoted(tail) + u"]";
      }
    }
    // The value's rendering goes to the variable, not to the output.
    const std::u16string value = failed_ ? u"" : output_.substr(saved.size());
    output_ = saved;
    const bool set_meanwhile = number ? numbers_.count(number_name.value) > 0 : texts_.count(text_name) > 0;
    if (!known && set_meanwhile) failed_ = true;
    if (!failed_) (number ? numbers_[number_name.value] : texts_[text_name]) = value;
    return u"{" + Quoted(Key(u"set")) + u": {name: " + (number ? std::u16string(number_name.json) : Quoted(text_name)) +
           u", value: " + value_json + u"}}";
  }

  FuzzedDataProvider& input_;
  std::u16string output_;
  bool failed_ = false;
  size_t inputs_ = 0;
  std::map<std::u16string, std::u16string> texts_;
  std::map<double, std::u16string> numbers_;  // -0.0 and 0.0 are one key
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxScript) return -1;
  const std::u16string text = comsvc::Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data), size));
  Check(RunOnFreshInstance(text, 2, false) == RunOnFreshInstance(text, 2, true));

  FuzzedDataProvider input(data, size);
  ScriptModel model(input);
  const std::u16string script = model.Build();
  const Outcome outcome = RunOnFreshInstance(script, 1, false);
  const std::optional<std::u16string> expected = model.Expected();
  Check(outcome.errors.front() == (expected ? 0 : 457));
  Check(!expected || outcome.outputs.front() == *expected);
  Check(outcome == RunOnFreshInstance(script, 1, true));
  return 0;
}
