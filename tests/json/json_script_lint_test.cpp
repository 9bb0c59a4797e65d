#include <comsvc/json_script_lint.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <comsvc/utf8.h>

namespace comsvc {
namespace {

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

struct RuleCase {
  std::string rule;
  std::u16string fires;       // a script with exactly one finding, of this rule
  std::u16string look_alike;  // a script that runs cleanly and lints clean
};

TEST(LintScripts, EachRuleFiresAndItsLookAlikeLintsClean) {
  const RuleCase cases[] = {
      {"parse-error", u"[{alert: {message: 'x'}}, tru]", u"[{alert: {message: 'x'}}, 'tru']"},
      {"script-shape", u"['a', 1]", u"['a', '1', null]"},
      {"script-shape", u"{note: 'x'}", u"{}"},
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
