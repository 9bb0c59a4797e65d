#include "json/json_script.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/runtime_error.h"
#include "core/utf8.h"
#include "json/json_reader.h"
#include "platform/dialogs.h"
#include "platform/locale.h"

namespace comsvc {
namespace {

using platform::DialogRecord;
using Answers = std::vector<std::optional<std::u16string>>;

const std::u16string kTooDeep = u"ERROR: Nesting level exceeded.";

Value Array(std::vector<Value> items) {
  auto array = std::make_shared<Collection>();
  for (Value& item : items) array->Add(std::move(item));
  return array;
}

Value Object(std::vector<std::pair<std::u16string, Value>> members) {
  auto object = std::make_shared<Dictionary>();
  for (auto& [key, value] : members) object->Add(key, std::move(value));
  return object;
}

Value Wrap(Value value, int arrays) {
  for (int i = 0; i < arrays; ++i) value = Array({std::move(value)});
  return value;
}

// An "if" that holds (two absent values are equal) around `value`, `ifs` times.
Value NestIf(Value value, int ifs) {
  for (int i = 0; i < ifs; ++i) value = Object({{u"if", Object({{u"type", u"eq"}, {u"true", std::move(value)}})}});
  return value;
}

// A box as one line: "message|text|title|icon" or "input|prompt|title|default|answer".
std::string Describe(const DialogRecord& box) {
  const bool message = box.kind == DialogRecord::Kind::kMessage;
  std::u16string line = (message ? u"message|" : u"input|") + box.text + u"|" + box.title + u"|";
  line += message ? Utf8ToUtf16(platform::BoxIconName(box.icon)) : box.default_text + u"|" + box.answer.value_or(u"-");
  return EncodeUtf8(line);
}

class ScriptTest : public ::testing::Test {
 protected:
  void SetUp() override { Answer({}); }
  void TearDown() override { platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>()); }
  void Answer(Answers answers) {
    dialogs_ = std::make_shared<platform::ScriptedDialogs>(std::move(answers));
    platform::SetDialogs(dialogs_);
  }
  std::vector<std::string> Boxes() const {
    std::vector<std::string> lines;
    for (const DialogRecord& box : dialogs_->Records()) lines.push_back(Describe(box));
    return lines;
  }

  std::shared_ptr<platform::ScriptedDialogs> dialogs_;
  cJSONScript script_;
};

TEST_F(ScriptTest, RendersEveryKindOfValue) {
  const std::pair<Value, std::u16string> cases[] = {
      {Null{}, u"null"}, {true, u"true"}, {false, u"false"}, {1000000, u"1000000"}, {-7, u"-7"},
      {int16_t{-5}, u"-5"}, {1.5, u"1.5"}, {0.1 + 0.2, u"0.3"}, {1e20, u"1E+20"}, {1e-5, u"1E-05"},
      {u"q\"b\\s\r\nt\x01", u"q\"b\\s\r\nt\x01"}, {Value(), u""}, {Array({}), u""}, {Object({}), u""},
      {Array({u"ab", u"cd"}), u"abcd"}, {Array({Null{}, true, Array({Array({u"in", 2})}), false}), u"nulltruein2false"},
  };
  for (const auto& [value, rendered] : cases) EXPECT_EQ(script_.ExecCommand(value), rendered);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScriptTest, RenderedNumbersUseAPointButTextFormsKeepTheLocale) {
  const char16_t saved = platform::Locale::Numbers().decimal;
  platform::Locale::SetDecimalSeparator(u',');
  EXPECT_EQ(script_.ExecCommand(Array({1.5, u" ", -0.25})), u"1.5 -0.25");
  EXPECT_EQ(script_.Eval(u"[{x: {a: 1.5, b: 2}}]"), u"<%X(1,5,2)%>");  // directive arguments
  const std::u16string pick = u"{switch: {default: 'no', items: [{case: 1.5, return: 'yes'}], case: ";
  EXPECT_EQ(script_.Eval(u"[" + pick + u"1.5}}]"), u"no");  // the selector is rendered, the case is not
  EXPECT_EQ(script_.Eval(u"[" + pick + u"'1,5'}}]"), u"yes");
  platform::Locale::SetDecimalSeparator(saved);
}

TEST_F(ScriptTest, EvaluatesScripts) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"[]", u""},
      {u"{}", u""},
      {u"['a', null, 'b']", u"anullb"},
      {u"['x', ['y', ['z', 1, 2.5, true]]]", u"xyz12.5true"},
      {u"[{return: 'hi'}, ' ', {RETURN: 'there'}]", u"hi there"},
      {u"[{total: '12'}, {Sum: {a: 1, b: 2}}, {note: [1, 2]}, {note: {}}]", u"<%TOTAL(12)%><%SUM(1,2)%><%NOTE()%><%NOTE()%>"},
      {u"[{x: {a: 'p,q', b: true, c: '', d: -3}}, {'größe': 'é'}]", u"<%X(p,q,True,,-3)%><%GRÖßE(é)%>"},
      {u"[{return: 'a', set: {name: 'v', value: '1'}, get: {name: 'v'}, Return: 'b'}]", u"a1b"},
      {u"[{if: {value1: {return: 'A'}, value2: 'a', type: 'eq', true: ['sa', {return: 'me'}], false: 'no'}}]", u"same"},
      {u"[{get: ['x']}, {if: []}, {switch: {items: [], default: []}}]", u""},
  };
  for (const auto& [script, output] : cases) {
    cJSONScript fresh;
    EXPECT_EQ(fresh.Eval(script), output) << EncodeUtf8(script);
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScriptTest, IfComparesAsItsTypeSays) {
  const struct {
    std::optional<Value> type;  // nullopt: no "type" member
    const char16_t *value1, *value2;
    bool holds;
  } cases[] = {
      {u"eq", u"Abc", u"aBC", true}, {u"EQ", u"x", u"x", true},     {u"eq", u"a", u"b", false},
      {u"gt", u"10", u"9", false},   {u"lt", u"10", u"9", true},    {u"gt", u"a", u"a", false},
      {u"gte", u"a", u"a", true},    {u"lte", u"a", u"a", true},    {u"lte", u"b", u"a", false},
      {u"lt", u"ab", u"abc", true},  {u"gt", u"a", u"B", true},     {u"gt", u"\u00e9", u"z", true},
      {u"ne", u"a", u"b", false},    {Null{}, u"a", u"a", false},   {std::nullopt, u"a", u"a", false},
  };
  for (const auto& c : cases) {
    std::vector<std::pair<std::u16string, Value>> args = {
        {u"value1", c.value1}, {u"value2", c.value2}, {u"true", u"T"}, {u"false", u"F"}};
    if (c.type) args.emplace_back(u"type", *c.type);
    EXPECT_EQ(script_.ExecCommand(Object({{u"if", Object(args)}})), c.holds ? u"T" : u"F")
        << EncodeUtf8(c.value1) << " vs " << EncodeUtf8(c.value2);
  }
}

TEST_F(ScriptTest, SwitchChoosesTheFirstMatchingCase) {
  const Value letters = Array({Object({{u"case", u"a"}, {u"return", u"1"}}), Object({{u"case", u"b"}, {u"return", u"2"}}),
                               Object({{u"case", u"B"}, {u"return", u"3"}})});
  const Value odd = Array({Object({{u"case", Null{}}, {u"return", u"null"}}), Object({{u"case", 2}, {u"return", u"two"}}),
                           Object({{u"case", true}, {u"return", u"yes"}}), Object({{u"return", u"none"}})});
  const struct {
    Value selector, items;
    std::u16string output;
  } cases[] = {
      {u"B", letters, u"2"},           {u"x", letters, u"dflt"},          {u"a", Array({}), u"dflt"},
      {Object({{u"return", u"A"}}), letters, u"1"},                       {u"null", odd, u"dflt"},
      {u"2", odd, u"two"},             {u"TRUE", odd, u"yes"},            {u"", odd, u"none"},
      {u"a", Array({Object({{u"case", u"a"}, {u"return", u"1"}}), 5}), u"1"},  // later items are not looked at
  };
  for (const auto& c : cases) {
    const Value args = Object({{u"default", u"dflt"}, {u"case", c.selector}, {u"items", c.items}});
    EXPECT_EQ(script_.ExecCommand(Object({{u"switch", args}})), c.output) << EncodeUtf8(script_.ExecCommand(c.selector));
  }
}

TEST_F(ScriptTest, VariablesLiveAsLongAsTheInstance) {
  const std::pair<const char16_t*, const char16_t*> steps[] = {
      {u"[{get: {name: 'v'}}, {get: {name: 'v', default: 'none'}}]", u"none"},
      {u"[{set: {name: 'v', value: ['x', 1]}}, {get: {name: 'v'}}]", u"x1"},
      {u"[{get: {name: 'v'}}, {get: {name: 'V', default: '|other'}}]", u"x1|other"},
      {u"[{set: {name: 'v', value: ''}}, {get: {name: 'v', default: 'empty'}}]", u"empty"},
      {u"[{set: {name: 5, value: 'number'}}, {get: {name: 5, default: 'apart'}}]", u"apart"},
      {u"[{set: {name: '5', value: 'text'}}, {get: {name: 5}}]", u"text"},
      {u"[{set: {name: 'n', value: 'old'}}, {set: {name: 'n', value: [{set: {name: 'n', value: 'in'}}, {get: {name: "
       u"'n'}}, '!']}}, {get: {name: 'n'}}]",
       u"in!"},  // a name known before the step may be set by its value
  };
  for (const auto& [script, output] : steps) EXPECT_EQ(script_.Eval(script), output) << EncodeUtf8(script);
  EXPECT_EQ(cJSONScript().Eval(u"[{get: {name: 'v', default: 'not shared'}}]"), u"not shared");
}

TEST_F(ScriptTest, ShowsBoxes) {
  const struct {
    const char16_t* script;
    Answers answers;
    const char16_t* output;
    std::vector<std::string> boxes;
  } cases[] = {
      {u"[{alert: {message: ['Hello ', {return: 'you'}], title: 'Hi'}}, 'after']", {}, u"after",
       {"message|Hello you|Hi|information"}},
      {u"[{ALERT: {Message: 'lost', title: 'T'}}]", {}, u"", {"message||T|information"}},
      {u"[{input: {prompt: 'Name?', title: 'Who', default: ['y', 'ou']}}, '|']", {u"Ann"}, u"Ann|",
       {"input|Name?|Who|you|Ann"}},
      {u"[{input: {prompt: 'Name?'}}, '|']", {std::nullopt}, u"|", {"input|Name?|||-"}},
      {u"[{alert: {title: {input: {prompt: 't'}}, message: {input: {prompt: 'm'}}}}]", {u"Bo"}, u"",
       {"input|m|||Bo", "input|t|||-", "message|Bo||information"}},
      {u"[{switch: {default: {alert: {message: 'd'}}, case: 'a', items: [{case: 'a', return: 'hit'}]}}]", {}, u"hit",
       {"message|d||information"}},
      {u"not JSON", {}, u"", {"message|Invalid JSON|Parser Error|exclamation"}},
      {u"", {}, u"", {"message|Invalid JSON|Parser Error|exclamation"}},
  };
  for (const auto& c : cases) {
    Answer(c.answers);
    EXPECT_EQ(script_.Eval(c.script), c.output) << EncodeUtf8(c.script);
    EXPECT_EQ(Boxes(), c.boxes) << EncodeUtf8(c.script);
  }
  // Reader errors are shown as they are, and nothing of the script runs.
  Answer({});
  EXPECT_EQ(script_.Eval(u"[{alert: {message: 'never'}}, 1, x]"), u"");
  ASSERT_FALSE(JSON::ReaderErrors().empty());
  EXPECT_EQ(Boxes(), std::vector{"message|" + EncodeUtf8(JSON::ReaderErrors()) + "|Parser Error|exclamation"});
}

TEST_F(ScriptTest, FailuresRaiseTheirErrors) {
  constexpr ErrorNumber kNull = ErrorNumber::kInvalidUseOfNull, kObject = ErrorNumber::kObjectRequired,
                        kType = ErrorNumber::kTypeMismatch;
  const std::pair<const char16_t*, ErrorNumber> cases[] = {
      {u"[1]", kType}, {u"['a', true]", kType}, {u"{a: 'b'}", kType},  // script elements and shape
      {u"[{return: null}]", kNull}, {u"[{note: null}]", kNull}, {u"[{note: 1}]", kObject},
      {u"[{alert: false}]", kObject}, {u"[{return: {}}]", kType}, {u"[{return: []}]", kType},
      {u"[{alert: 'a'}]", kObject}, {u"[{Input: 'a'}]", kObject}, {u"[{switch: 'a'}]", kObject},
      {u"[{set: 'a'}]", kObject}, {u"[{get: 'a'}]", kObject}, {u"[{IF: 'a'}]", kObject},
      {u"[{switch: {}}]", kObject}, {u"[{switch: {items: 'a'}}]", kObject}, {u"[{switch: {items: null}}]", kNull},
      {u"[{switch: {items: {}}}]", kType}, {u"[{switch: {items: [5]}}]", kObject}, {u"[{switch: {items: [[]]}}]", kType},
      {u"[{switch: {case: 'x', items: [{case: 'a'}, {case: {return: 'x'}}]}}]", kType},
      {u"[{if: {type: {}}}]", kType}, {u"[{if: {type: ['eq']}}]", kType},
      {u"[{get: {name: null}}]", kNull}, {u"[{get: {name: {}}}]", kType}, {u"[{get: {name: ['v']}}]", kType},
      {u"[{note: {a: 'x', b: null}}]", kNull}, {u"[{note: {a: {}}}]", kType}, {u"[{note: {a: []}}]", kType},
      {u"[{set: {name: 'n', value: {set: {name: 'n', value: 'x'}}}}]", ErrorNumber::kDuplicateKey},
      {u"['a', [['b', {if: {type: 'eq', true: [{return: null}]}}]]]", kNull},  // deep down
  };
  for (const auto& [script, error] : cases) {
    cJSONScript fresh;
    try {
      fresh.Eval(script);
      ADD_FAILURE() << "no error from " << EncodeUtf8(script);
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.Number(), static_cast<int32_t>(error)) << EncodeUtf8(script);
    }
    EXPECT_EQ(fresh.Level(), 0);
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ScriptTest, AFailureDropsTheOutputButKeepsTheEffects) {
  EXPECT_THROW(script_.Eval(u"['text', {alert: {message: 'shown'}}, {set: {name: 'kept', value: 'yes'}}, {x: 5}]"),
               RuntimeError);
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(script_.Eval(u"['still usable: ', {get: {name: 'kept'}}]"), u"still usable: yes");
  EXPECT_THROW(script_.Eval(u"[{set: {name: 'n', value: {set: {name: 'n', value: 'inner'}}}}]"), RuntimeError);
  EXPECT_EQ(script_.Eval(u"[{get: {name: 'n'}}]"), u"inner");
}

TEST_F(ScriptTest, NestingStopsBelow41Levels) {
  const struct {
    std::u16string (*run)(cJSONScript&, int);
    int limit;  // the deepest nesting that still renders
  } ways[] = {
      {[](cJSONScript& s, int n) { return s.ExecCommand(Wrap(u"deep", n)); }, 40},
      {[](cJSONScript& s, int n) { return s.ExecCommand(NestIf(u"deep", n)); }, 40},
      // the script's own array is not a level
      {[](cJSONScript& s, int n) { return s.Eval(std::u16string(n, u'[') + u"'deep'" + std::u16string(n, u']')); }, 41},
  };
  for (const auto& way : ways) {
    EXPECT_EQ(way.run(script_, way.limit), u"deep");
    EXPECT_EQ(script_.Level(), 0);
    EXPECT_EQ(way.run(script_, way.limit + 1), kTooDeep);
    EXPECT_EQ(script_.Level(), 0);
    EXPECT_EQ(way.run(script_, way.limit), u"deep");
  }
  EXPECT_EQ(script_.ExecCommand(Array({u"a", Wrap(u"x", 40), u"b", Wrap(u"y", 39)})), u"a" + kTooDeep + u"by");
  EXPECT_EQ(script_.ExecCommand(Wrap(Object({{u"alert", Object({})}}), 5000)), kTooDeep);
  EXPECT_TRUE(Boxes().empty());

  EXPECT_THROW(script_.ExecCommand(Wrap(Object({{u"return", Null{}}}), 30)), RuntimeError);
  EXPECT_EQ(script_.Level(), 0);  // restored by the failure, so the full depth is there again
  EXPECT_EQ(script_.ExecCommand(Wrap(u"deep", 40)), u"deep");
}

}  // namespace
}  // namespace comsvc
