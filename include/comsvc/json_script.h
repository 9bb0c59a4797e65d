// cJSONScript: runs scripts written in JSON and renders values as plain text.
//
// A script is a JSON array of texts (written out unchanged) and command
// objects, whose members are steps run in order: "alert", "input", "switch",
// "set", "get", "if", "return", and a directive "<%NAME(arguments)%>" for any
// other key. Boxes go through platform::Dialogs().
//
// A script that goes wrong raises comsvc::RuntimeError; the output gathered so
// far is dropped, while boxes already shown and variables already set stay.
// Memory running out is such a failure too: error 7.
// json_script.cpp lists which error each kind of failure raises.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <comsvc/json_path.h>
#include <comsvc/json_script_events.h>
#include <comsvc/value.h>

namespace comsvc {

class cStringBuilder;

class cJSONScript {
 public:
  cJSONScript() = default;
  cJSONScript(const cJSONScript&) = delete;
  cJSONScript& operator=(const cJSONScript&) = delete;

  // Reads `sJSON` and runs it. Text the reader rejects shows the
  // "Parser Error" box and gives the empty text.
  std::u16string Eval(const std::u16string& sJSON);
  // The rendering of one value; a JSON object runs as a command object.
  // Values nested deeper than 41 calls render as "ERROR: Nesting level
  // exceeded." in their place.
  std::u16string ExecCommand(const Value& obj);

  // The number of ExecCommand calls in progress. A failure that ends an
  // evaluation unwinds every call, so the count is back where it was and the
  // instance stays usable.
  int32_t Level() const { return m_Level; }

  // Hands every event of the evaluations that follow to `observer`, in the
  // order they happen; an empty observer stops it. Unwatched, an
  // evaluation only tests that nobody watches.
  void Observe(ScriptObserver observer) { observer_ = std::move(observer); }

 private:
  std::u16string EvalText(const std::u16string& sJSON);
  void WriteElement(const Value& element, cStringBuilder& out);

  void Render(const Value& obj, cStringBuilder& out);
  void RunCommandObject(const Dictionary& commands, cStringBuilder& out);
  void RunStep(std::u16string_view key, const Value& value, cStringBuilder& out);
  void Step(std::u16string_view key, const Value& value, cStringBuilder& out);
  void Directive(std::u16string_view key, const Value& value, cStringBuilder& out);
  std::u16string DirectiveArguments(const Value& value);
  bool Choose(const Value& item, const std::u16string& selector, std::u16string& result);

  // A member of an argument object, evaluated or rendered into `out`.
  std::u16string Evaluate(const Value& args, std::u16string_view name);
  void RenderMember(const Value& args, std::u16string_view name, cStringBuilder& out);

  void Alert(const Value& args, cStringBuilder& out);
  void Input(const Value& args, cStringBuilder& out);
  void Switch(const Value& args, cStringBuilder& out);
  void Set(const Value& args, cStringBuilder& out);
  void Get(const Value& args, cStringBuilder& out);
  void If(const Value& args, cStringBuilder& out);

  // For the observer: `work` run with `step` added to the path, or noting
  // a failure that leaves it; both only while someone watches.
  template <typename Work>
  decltype(auto) At(JSON::PathStep step, Work&& work);
  template <typename Work>
  decltype(auto) Observed(Work&& work);
  void NoteFailure();
  void Notify(ScriptEvent event);

  // Variables of "set" and "get", kept for the life of the instance, each
  // name's key with its text. Keys carry the kind of the name that "set" was
  // given (see script::VariableKey), so the number 5 and the text "5" name
  // two variables.
  const Ref<Dictionary> m_Vars = MakeRef<Dictionary>();
  int32_t m_Level = 0;

  ScriptObserver observer_;
  std::vector<JSON::PathStep> path_;  // to the value being evaluated
  bool failure_noted_ = false;        // by the innermost step it left
};

}  // namespace comsvc
