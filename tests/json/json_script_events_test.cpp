#include <comsvc/json_script.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <comsvc/dialogs.h>
#include <comsvc/testing/scripted_dialogs.h>
#include <comsvc/runtime_error.h>
#include <comsvc/utf8.h>

namespace comsvc {
namespace {

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

class ScriptEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    watched_.Observe([this](const ScriptEvent& e) { events_.push_back(Describe(e)); });
  }
  void TearDown() override { platform::SetDialogs(nullptr); }
  static void Answer(std::optional<std::u16string> answer) {
    platform::SetDialogs(std::make_shared<platform::ScriptedDialogs>(std::vector{answer}));
  }

  cJSONScript watched_;
  std::vector<std::string> events_;
};

TEST_F(ScriptEventsTest, TellEveryStepSetGetBoxAndDirectiveInOrderAndChangeNothing) {
  const std::u16string script =
      u"[{set: {name: 'who', value: {input: {prompt: 'Name?'}}}}, 'Hi ', {get: {name: 'who'}},"
      u" {alert: {message: 'm', title: 't'}}, [{Sum: {a: 1, b: 2}}]]";
  Answer(u"Ann");
  const std::u16string output = watched_.Eval(script);
  Answer(u"Ann");
  EXPECT_EQ(EncodeUtf8(output), EncodeUtf8(cJSONScript().Eval(script)));
  EXPECT_EQ(events_, (std::vector<std::string>{"input [0].set.value.input Name?|Ann", "step [0].set.value.input Ann",
                                               "set [0].set who=Ann", "step [0].set ", "get [2].get who=Ann",
                                               "step [2].get Ann", "message [3].alert m|t", "step [3].alert ",
                                               "directive [4][0].Sum <%SUM(1,2)%>", "step [4][0].Sum <%SUM(1,2)%>"}));
}

// A failure is told once, where it happened, after what ran before it.
TEST_F(ScriptEventsTest, TellAFailureWhereItHappened) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"[{get: {name: null}}]", "failure [0].get.name 94"},
      {u"['a', [{if: {type: 'eq', true: [{return: null}]}}]]", "failure [1][0].if.true[0].return 94"},
      {u"[{switch: {items: [{case: 'a'}, 5]}}]", "failure [0].switch.items[1] 424"},
      {u"[{x: {a: 'b', c: [1]}}]", "failure [0].x.c 13"},
      {u"[{set: {name: 'n', value: {set: {name: 'n', value: 'x'}}}}]", "failure [0].set 457"},
      {u"{a: 'b'}", "failure  13"},
  };
  for (const auto& [script, failure] : cases) {
    events_.clear();
    EXPECT_THROW(watched_.Eval(script), RuntimeError);
    ASSERT_FALSE(events_.empty());
    EXPECT_EQ(events_.back(), failure) << EncodeUtf8(script);
    EXPECT_EQ(std::ranges::count_if(events_, [](const std::string& e) { return e.starts_with("failure"); }), 1);
  }
  events_.clear();
  EXPECT_EQ(watched_.Eval(u"not JSON"), u"");
  EXPECT_EQ(events_, std::vector<std::string>{"message  Invalid JSON|Parser Error"});
}

}  // namespace
}  // namespace comsvc
