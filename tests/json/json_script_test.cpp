#include <comsvc/json_script.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include <comsvc/dialogs.h>
#include <comsvc/json_reader.h>
#include <comsvc/json_script_lint.h>
#include <comsvc/locale.h>
#include <comsvc/runtime_error.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/utf8.h>
#include "picture.h"
#include "support/runtime_errors.h"

namespace comsvc {
namespace {

using Answers = std::vector<std::optional<std::u16string>>;
const std::u16string kTooDeep = u"ERROR: Nesting level exceeded.";

Value Parse(std::u16string_view text) { return JSON::ReadJson(text); }

using JSON::Repeat;

std::u16string Switch(const std::u16string& selector, const std::u16string& items) {
  return u"[{switch: {default: 'dflt', case: " + selector + u", items: " + items + u"}}]";
}

// An event as "kind path details".
std::string Describe(const ScriptEvent& e) {
  using Kind = ScriptEvent::Kind;
  const char* const kinds[] = {"step", "set", "get", "message", "input", "directive", "failure"};
  std::u16string details;
  switch (e.kind) {
    case Kind::kSet:
    case Kind::kGet: details = std::u16string(e.name) + u"=" + std::u16string(e.value); break;
    case Kind::kMessageBox: details = std::u16string(e.text) + u"|" + std::u16string(e.title); break;
    case Kind::kInputBox: details = std::u16string(e.text) + u"|" + std::u16string(e.result); break;
    case Kind::kFailure: details = Utf8ToUtf16(std::to_string(e.number)); break;
    default: details = e.result;
  }
  return kinds[static_cast<int>(e.kind)] + (" " + EncodeUtf8(JSON::PathText(e.path))) + " " + EncodeUtf8(details);
}

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { Answer({}); }
  void TearDown() override { platform::SetDialogs(nullptr); }
  void Answer(Answers answers) {
    dialogs_ = std::make_shared<platform::ScriptedDialogs>(std::move(answers));
    platform::SetDialogs(dialogs_);
  }
  // Each box as "message|text|title|icon" or "input|prompt|title|default|answer".
  std::vector<std::string> Boxes() const {
    std::vector<std::string> lines;
    for (const platform::DialogRecord& box : dialogs_->Records()) {
      const bool message = box.kind == platform::DialogRecord::Kind::kMessage;
      std::u16string line = (message ? u"message|" : u"input|") + box.text + u"|" + box.title + u"|";
      line += message ? Utf8ToUtf16(BoxIconName(box.icon)) : box.default_text + u"|" + box.answer.value_or(u"-");
      lines.push_back(EncodeUtf8(line));
    }
    return lines;
  }

  // Gathers the events of the runs of `script_`.
  void Watch() { script_.Observe([this](const ScriptEvent& e) { events_.push_back(Describe(e)); }); }

  std::shared_ptr<platform::ScriptedDialogs> dialogs_;
  cJSONScript script_;
  std::vector<std::string> events_;
};

TEST_F(ScriptTest, RendersEveryKindOfValue) {
  const std::pair<Value, std::u16string> cases[] = {
      {Null{}, u"null"}, {false, u"false"}, {1000000, u"1000000"}, {1e20, u"1E+20"}, {Value(), u""},
      {Parse(u"{}"), u""}, {u"q\"b\\s\r\nt\x01", u"q\"b\\s\r\nt\x01"},
      {Parse(u"[null, true, [['in', 2]], false, 'cd']"), u"nulltruein2falsecd"},
  };
  for (const auto& [value, rendered] : cases) EXPECT_EQ(script_.ExecCommand(value), rendered);

  const char16_t saved = platform::Locale::Numbers().decimal;
  platform::Locale::SetDecimalSeparator(u',');
  EXPECT_EQ(script_.ExecCommand(Parse(u"[1.5, ' ', -0.25]")), u"1.5 -0.25");
  EXPECT_EQ(script_.Eval(Switch(u"1.5", u"[{case: 1.5, return: 'x'}, {case: '1.5', return: 'y'}]")), u"y");
  platform::Locale::SetDecimalSeparator(saved);
}

// Run in order on one instance, so variables set by a script are seen by the later ones.
TEST_F(ScriptTest, EvaluatesScripts) {
  const std::u16string letters = u"[{case: 'a', return: '1'}, {case: 'b', return: '2'}, {case: 'B', return: '3'}]";
  const std::u16string odd = u"[{case: null, return: 'null'}, {case: true, return: 'yes'}, {return: 'none'}]";
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"[{total: '12'}, {Sum: {a: 1, b: 2}}, {note: [1, 2]}, {note: {}}]",
       u"<%TOTAL(12)%><%SUM(1,2)%><%NOTE()%><%NOTE()%>"},
      {u"[{x: {a: 'p,q', b: true, c: '', d: -3}}, {'größe': 'é'}]", u"<%X(p,q,True,,-3)%><%GRÖßE(é)%>"},
      {u"[{if: {value1: {return: 'A'}, value2: 'a', type: 'eq', true: ['sa', {return: 'me'}]}}]", u"same"},
      {u"[{if: {type: 'LTE', value1: '10', value2: '9', true: 'T', false: 'F'}}]", u"T"},  // as texts
      {u"[{if: {value1: 'a', value2: 'a', true: 'T', false: 'F'}}]", u"F"},  // no type, never true
      {Switch(u"'B'", letters), u"2"}, {Switch(u"{return: 'A'}", letters), u"1"}, {Switch(u"'null'", odd), u"dflt"},
      {Switch(u"'TRUE'", odd), u"yes"}, {Switch(u"''", odd), u"none"},
      // set and get
      {u"[{get: {name: 'v', default: 'none'}}, {set: {name: 'v', value: ['x', 1]}}, {return: '|'}]", u"none|"},
      {u"[{get: {name: 'v'}}, {get: {name: 'V', default: '|other'}}, {Return: '|', get: {name: 'v'}}]", u"x1|other|x1"},
      // a name known before the step may be set by its value
      {u"[{set: {name: 'v', value: [{set: {name: 'v', value: 'in'}}, {get: {name: 'v'}}, '!']}}, {get: {name: 'v'}}]",
       u"in!"},
      // number names are one name only for one value, and never meet a text name
      {u"[{set: {name: 1.0000000000000002, value: {set: {name: 1, value: ''}}}}, 'ok']", u"ok"},
      {u"[{set: {name: 1e15, value: {set: {name: 1000000000000000.2, value: ''}}}}, 'ok']", u"ok"},
      {u"[{set: {name: '7', value: {set: {name: 7, value: ''}}}}, {set: {name: 8, value: 'n'}}, {get: {name: '8'}}]",
       u""},
  };
  for (const auto& [script, output] : cases) EXPECT_EQ(script_.Eval(script), output) << EncodeUtf8(script);
}

TEST_F(ScriptTest, ShowsBoxes) {
  const std::tuple<const char16_t*, Answers, const char16_t*, std::vector<std::string>> cases[] = {
      {u"[{alert: {message: ['Hi ', {return: 'you'}], title: 'T'}}, '!']", {}, u"!", {"message|Hi you|T|information"}},
      {u"[{input: {prompt: 'Name?', title: 'Who', default: ['y', 'ou']}}, '|', {input: {}}]", {u"Ann"}, u"Ann|",
       {"input|Name?|Who|you|Ann", "input||||-"}},
      {u"not JSON", {}, u"", {"message|Invalid JSON|Parser Error|exclamation"}},
  };
  for (const auto& [script, answers, output, boxes] : cases) {
    Answer(answers);
    EXPECT_EQ(script_.Eval(script), output) << EncodeUtf8(script);
    EXPECT_EQ(Boxes(), boxes) << EncodeUtf8(script);
  }
}

// A failure raises its error, told once as an event where it happened,
// after what ran before it.
TEST_F(ScriptTest, FailuresRaiseTheirErrorsWhereTheyHappenAndKeepTheirEffects) {
  constexpr int32_t kNull = 94, kObject = 424, kType = 13, kDuplicate = 457;
  struct FailureCase {
    std::u16string script;
    int32_t error;
    std::string at;  // the path of its failure event
  };
  const FailureCase cases[] = {
      {u"[1]", kType, "[0]"}, {u"{a: 'b'}", kType, ""}, {u"[{return: null}]", kNull, "[0].return"},
      {u"[{note: null}]", kNull, "[0].note"}, {u"[{note: 1}]", kObject, "[0].note"},
      {u"[{return: {}}]", kType, "[0].return"}, {u"[{alert: 'a'}]", kObject, "[0].alert"},
      {u"[{IF: 'a'}]", kObject, "[0].IF"}, {u"[{if: {type: ['eq']}}]", kType, "[0].if.type"},
      {u"[{switch: {}}]", kObject, "[0].switch.items"}, {u"[{switch: {items: null}}]", kNull, "[0].switch.items"},
      {u"[{switch: {items: {}}}]", kType, "[0].switch.items"},
      {u"[{switch: {items: [5]}}]", kObject, "[0].switch.items[0]"},
      {u"[{switch: {items: [{case: 'a'}, 5]}}]", kObject, "[0].switch.items[1]"},
      {u"[{note: {a: []}}]", kType, "[0].note.a"}, {u"[{x: {a: 'b', c: [1]}}]", kType, "[0].x.c"},
      {u"[{get: {name: null}}]", kNull, "[0].get.name"},
      {u"[{switch: {case: 'x', items: [{case: 'a'}, {case: {return: 1}}]}}]", kType, "[0].switch.items[1].case"},
      {u"[{set: {name: 'n', value: {set: {name: 'n', value: 'x'}}}}]", kDuplicate, "[0].set"},
      {u"[{set: {name: 1, value: {set: {name: 1.0, value: 'x'}}}}]", kDuplicate, "[0].set"},
      {u"[{set: {name: 0, value: {set: {name: -0.0, value: 'x'}}}}]", kDuplicate, "[0].set"},
      {u"['a', [{if: {type: 'eq', true: [{return: null}]}}]]", kNull, "[1][0].if.true[0].return"},
      {u"['a', [['b', {if: {type: 'eq', true: [{return: null}]}}]]]", kNull, "[1][0][1].if.true[0].return"},
  };
  for (const auto& [script, error, at] : cases) {
    cJSONScript fresh;
    events_.clear();
    fresh.Observe([this](const ScriptEvent& e) { events_.push_back(Describe(e)); });
    EXPECT_EQ(testing::RaisedError([&] { fresh.Eval(script); }), error) << EncodeUtf8(script);
    EXPECT_EQ(fresh.Level(), 0);
    EXPECT_EQ(std::ranges::count_if(events_, [](const std::string& e) { return e.starts_with("failure"); }), 1);
    EXPECT_EQ(events_.empty() ? "" : events_.back(), "failure " + at + " " + std::to_string(error)) << EncodeUtf8(script);
  }

  // A failure drops the output gathered so far; boxes shown and variables set stay.
  EXPECT_THROW(script_.Eval(u"['text', {alert: {message: 'shown'}}, {set: {name: 'kept', value: 'yes'}}, {x: 5}]"),
               RuntimeError);
  EXPECT_EQ(Boxes().size(), 1u);  // and none from the table above
  EXPECT_EQ(script_.Eval(u"['still usable: ', {get: {name: 'kept'}}]"), u"still usable: yes");
}

TEST_F(ScriptTest, NestingStopsBelow41Levels) {
  const auto arrays = +[](int n) -> std::u16string { return Repeat(u"[", n) + u"'deep'" + Repeat(u"]", n); };
  const auto ifs = +[](int n) -> std::u16string {
    return Repeat(u"{if: {type: 'eq', true: ", n) + u"'deep'" + Repeat(u"}}", n);
  };
  // Each deepest nesting that still renders follows one too deep: the counter went back down.
  for (const auto& nested : {arrays, ifs}) {
    EXPECT_EQ(script_.ExecCommand(Parse(nested(41))), kTooDeep);
    EXPECT_EQ(script_.ExecCommand(Parse(nested(40))), u"deep");
  }
  EXPECT_EQ(script_.Eval(arrays(42)), kTooDeep);
  EXPECT_EQ(script_.Eval(arrays(41)), u"deep");  // the script's own array is not a level
  EXPECT_EQ(script_.Level(), 0);
  const Value mixed = Parse(u"['a', " + arrays(40) + u", 'b', " + arrays(39) + u"]");
  EXPECT_EQ(script_.ExecCommand(mixed), u"a" + kTooDeep + u"bdeep");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScriptTest, TellEveryStepSetGetBoxAndDirectiveInOrderAndChangeNothing) {
  const std::u16string script =
      u"[{set: {name: 'who', value: {input: {prompt: 'Name?'}}}}, 'Hi ', {get: {name: 'who'}},"
      u" {alert: {message: 'm', title: 't'}}, [{Sum: {a: 1, b: 2}}]]";
  Watch();
  Answer({u"Ann"});
  const std::u16string output = script_.Eval(script);
  Answer({u"Ann"});
  EXPECT_EQ(EncodeUtf8(output), EncodeUtf8(cJSONScript().Eval(script)));
  EXPECT_EQ(events_, (std::vector<std::string>{"input [0].set.value.input Name?|Ann", "step [0].set.value.input Ann",
                                               "set [0].set who=Ann", "step [0].set ", "get [2].get who=Ann",
                                               "step [2].get Ann", "message [3].alert m|t", "step [3].alert ",
                                               "directive [4][0].Sum <%SUM(1,2)%>", "step [4][0].Sum <%SUM(1,2)%>"}));
  events_.clear();
  EXPECT_EQ(script_.Eval(u"not JSON"), u"");
  EXPECT_EQ(events_, std::vector<std::string>{"message  Invalid JSON|Parser Error"});
}

std::vector<LintFinding> Lint(std::vector<std::u16string_view> scripts) { return LintScripts(scripts); }

// Each finding as "SCRIPT:LINE:COLUMN severity rule".
std::vector<std::string> Summary(const std::vector<LintFinding>& findings) {
  std::vector<std::string> lines;
  for (const LintFinding& f : findings) {
    lines.push_back(std::to_string(f.script) + ":" + std::to_string(f.position.line) + ":" +
                    std::to_string(f.position.column) + (f.severity == LintSeverity::kError ? " error " : " warning ") +
                    f.rule);
  }
  return lines;
}

std::u16string Nested(int arrays) { return std::u16string(arrays, u'[') + u"'deep'" + std::u16string(arrays, u']'); }

// fires: a script with exactly one finding, of the rule; look_alike: a
// script that runs cleanly and lints clean.
struct RuleCase { std::string rule; std::u16string fires, look_alike; };

TEST(LintScripts, EachRuleFiresAndItsLookAlikeLintsClean) {
  const RuleCase cases[] = {
      {"parse-error", u"[{alert: {message: 'x'}}, tru]", u"[{alert: {message: 'x'}}, 'tru']"},
      {"script-shape", u"['a', 1]", u"['a', '1', null]"}, {"script-shape", u"{note: 'x'}", u"{}"},
      {"step-value", u"[{note: 5}]", u"[{note: '5'}]"},
      {"argument-kind", u"[{Alert: 'hi'}]", u"[{Alert: {message: 'hi'}}]"},
      {"argument-kind", u"[{return: ['x']}]", u"[{return: 'x'}]"},
      {"switch-items", u"[{switch: {items: {}}}]", u"[{switch: {items: []}}]"},
      {"switch-items", u"[{switch: {items: [[]]}}]", u"[{switch: {items: [{}]}}]"},
      {"switch-case", u"[{switch: {items: [{case: ['a']}]}}]", u"[{switch: {items: [{case: 'a'}]}}]"},
      {"if-type", u"[{if: {type: ['eq']}}]", u"[{if: {type: 'eq'}}]"},
      {"get-name", u"[{get: {name: null, default: ''}}]", u"[{get: {name: 'null', default: ''}}]"},
      {"directive-argument", u"[{Field: {row: null}}]", u"[{Field: {row: 'null', n: 1}}]"},
      {"nesting", u"[" + Nested(41) + u"]", u"[" + Nested(40) + u"]"},
      {"misspelt-command", u"[{alrt: {message: 'x'}}]", u"[{alarm: {message: 'x'}}]"},
      {"misspelt-command", u"[{swtich: {}}]", u"[{SWITCH: {items: []}}]"},
      {"misspelt-command", u"[{fi: 'x'}]", u"[{id: 'x'}]"},
      {"misspelt-command", u"[{'alert\u00A0': 'x'}]", u"[{'alert ': {}}]"},
      {"unread-member", u"[{alert: {Message: 'x'}}]", u"[{alert: {message: 'x'}}]"},
      {"unread-member", u"[{input: {prompt: 'p', icon: 'i'}}]", u"[{input: {prompt: 'p', title: 'i'}}]"},
      {"unread-member", u"[{switch: {items: [{case: 'a', retrun: 'x'}]}}]",
       u"[{switch: {items: [{case: 'a', return: 'x'}]}}]"},
      {"if-never-holds", u"[{if: {type: 'gte ', true: 'x'}}]", u"[{if: {type: 'GTE', true: 'x'}}]"},
      {"if-never-holds", u"[{if: {type: null}}]", u"[{if: {type: 'lt'}}]"},
      {"text-comparison", u"[{if: {value1: '10', value2: 9, type: 'gt'}}]",
       u"[{if: {value1: '10', value2: 'nine', type: 'gt'}}]"},
      {"text-comparison", u"[{if: {value1: '-1.5', value2: '2', type: 'lte'}}]",
       u"[{if: {value1: '-1.5', value2: '2', type: 'eq'}}]"},
      {"unset-variable", u"[{get: {name: 'who'}}]", u"[{get: {name: 'who', default: 'x'}}]"},
      {"unset-variable", u"[{set: {name: 5, value: 'x'}}, {get: {name: '5'}}]",
       u"[{set: {name: '5', value: 'x'}}, {get: {name: 5}}]"},
      {"unreachable-case", u"[{switch: {items: [{case: 'A'}, {case: 'a'}]}}]",
       u"[{switch: {items: [{case: 'A'}, {case: 'b'}]}}]"},
      {"unreachable-case", u"[{switch: {items: [{case: 1}, {case: null}]}}]",
       u"[{switch: {items: [{case: 1}, {case: 'null'}]}}]"},
      {"self-set", u"[{set: {name: 'n', value: [{set: {name: 'n', value: 'x'}}]}}]",
       u"[{set: {name: 'n', value: [{set: {name: 'm', value: 'x'}}]}}]"},
  };
  for (const RuleCase& c : cases) {
    const std::vector<LintFinding> fired = Lint({c.fires});
    ASSERT_EQ(fired.size(), 1u) << EncodeUtf8(c.fires) << "\n" << ::testing::PrintToString(Summary(fired));
    EXPECT_EQ(fired[0].rule, c.rule) << EncodeUtf8(c.fires);
    EXPECT_EQ(Summary(Lint({c.look_alike})), std::vector<std::string>{}) << EncodeUtf8(c.look_alike);
  }
}

TEST(LintScripts, FindingsStandWhereTheirCauseDoesInTheirOwnScript) {
  const std::u16string first = u"[{set: {name: 'who', value: 'x'}},\n {if: {value1: 1, value2: 2, type: 'gt'}}]";
  const std::u16string second = u"[{get: {name: 'who'}},\r\n {get: {name: 'whom'}}, {x: null}]";
  // A name that one script sets counts for the others, whatever their order.
  EXPECT_EQ(Summary(Lint({second, first})),
            (std::vector<std::string>{"0:2:3 warning unset-variable", "0:2:29 error step-value",
                                      "1:2:36 warning text-comparison"}));
}

}  // namespace
}  // namespace comsvc
