#include <comsvc/json_script.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>
#include <comsvc/json_reader.h>
#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/locale.h>

namespace comsvc {
namespace {

using Answers = std::vector<std::optional<std::u16string>>;
const std::u16string kTooDeep = u"ERROR: Nesting level exceeded.";

Value Parse(std::u16string_view text) { return JSON::ReadJson(text); }

std::u16string Repeat(std::u16string_view piece, int times) {
  std::u16string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

std::u16string Switch(const std::u16string& selector, const std::u16string& items) {
  return u"[{switch: {default: 'dflt', case: " + selector + u", items: " + items + u"}}]";
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

  std::shared_ptr<platform::ScriptedDialogs> dialogs_;
  cJSONScript script_;
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

TEST_F(ScriptTest, FailuresRaiseTheirErrorsAndKeepTheirEffects) {
  constexpr int32_t kNull = 94, kObject = 424, kType = 13;
  const std::pair<const char16_t*, int32_t> cases[] = {
      {u"[1]", kType}, {u"{a: 'b'}", kType}, {u"[{return: null}]", kNull}, {u"[{note: null}]", kNull},
      {u"[{note: 1}]", kObject}, {u"[{return: {}}]", kType}, {u"[{alert: 'a'}]", kObject}, {u"[{IF: 'a'}]", kObject},
      {u"[{if: {type: ['eq']}}]", kType}, {u"[{switch: {}}]", kObject}, {u"[{switch: {items: null}}]", kNull},
      {u"[{switch: {items: {}}}]", kType}, {u"[{switch: {items: [5]}}]", kObject}, {u"[{note: {a: []}}]", kType},
      {u"[{get: {name: null}}]", kNull}, {u"[{switch: {case: 'x', items: [{case: 'a'}, {case: {return: 1}}]}}]", kType},
      {u"[{set: {name: 'n', value: {set: {name: 'n', value: 'x'}}}}]", 457},
      {u"[{set: {name: 1, value: {set: {name: 1.0, value: 'x'}}}}]", 457},
      {u"[{set: {name: 0, value: {set: {name: -0.0, value: 'x'}}}}]", 457},
      {u"['a', [['b', {if: {type: 'eq', true: [{return: null}]}}]]]", kNull},  // deep down
  };
  for (const auto& [script, error] : cases) {
    cJSONScript fresh;
    EXPECT_THAT([&] { fresh.Eval(script); },
                ::testing::Throws<RuntimeError>(::testing::Property(&RuntimeError::Number, error)))
        << EncodeUtf8(script);
    EXPECT_EQ(fresh.Level(), 0);
  }

  // A failure drops the output gathered so far; boxes shown and variables set stay.
  EXPECT_THROW(script_.Eval(u"['text', {alert: {message: 'shown'}}, {set: {name: 'kept', value: 'yes'}}, {x: 5}]"),
               RuntimeError);
  EXPECT_EQ(Boxes().size(), 1u);  // and none from the table above
  EXPECT_EQ(script_.Eval(u"['still usable: ', {get: {name: 'kept'}}]"), u"still usable: yes");
}

TEST_F(ScriptTest, NestingStopsBelow41Levels) {
  const auto arrays = [](int n) { return Repeat(u"[", n) + u"'deep'" + Repeat(u"]", n); };
  const auto ifs = [](int n) { return Repeat(u"{if: {type: 'eq', true: ", n) + u"'deep'" + Repeat(u"}}", n); };
  // Each deepest nesting that still renders follows one too deep: the counter went back down.
  EXPECT_EQ(script_.ExecCommand(Parse(arrays(41))), kTooDeep);
  EXPECT_EQ(script_.ExecCommand(Parse(arrays(40))), u"deep");
  EXPECT_EQ(script_.ExecCommand(Parse(ifs(41))), kTooDeep);
  EXPECT_EQ(script_.ExecCommand(Parse(ifs(40))), u"deep");
  EXPECT_EQ(script_.Eval(arrays(42)), kTooDeep);
  EXPECT_EQ(script_.Eval(arrays(41)), u"deep");  // the script's own array is not a level
  EXPECT_EQ(script_.Level(), 0);
  const Value mixed = Parse(u"['a', " + arrays(40) + u", 'b', " + arrays(39) + u"]");
  EXPECT_EQ(script_.ExecCommand(mixed), u"a" + kTooDeep + u"bdeep");
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
}  // namespace comsvc
