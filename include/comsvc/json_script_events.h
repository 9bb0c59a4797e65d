// What a running script does, one event at a time, for a caller that
// watches it (cJSONScript::Observe): to trace a run, step through it or show
// where it failed. Watching changes nothing of the run or its output.
//
// An event's views last only for the call that hands it over. What the
// observer raises passes out of the evaluation, as a failure would.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include <comsvc/json_path.h>

namespace comsvc {

struct ScriptEvent {
  enum class Kind {
    kStep,        // a step has run: command, result
    kSet,         // "set" stored a text: name, value
    kGet,         // "get" looked a name up: name, value (the text found,
                  // empty when there is none), found
    kMessageBox,  // an alert was closed: text, title; also the "Parser
                  // Error" box of a script that cannot be read (empty path)
    kInputBox,    // an input box returned: text (the prompt), title,
                  // default_text, result (the answer; empty when cancelled)
    kDirective,   // a directive was written: command (the key), name (the
                  // uppercased key), value (the arguments), result (the
                  // whole directive)
    kFailure,     // the evaluation stopped: number, result (the description)
  };

  Kind kind = Kind::kStep;
  // Where it happened in the script being run: for a step, the member that
  // holds it; for a failure, the innermost member or item being read.
  std::span<const JSON::PathStep> path = {};
  std::u16string_view command = {};  // the step's key as written
  std::u16string_view name = {};
  std::u16string_view value = {};
  std::u16string_view text = {};
  std::u16string_view title = {};
  std::u16string_view default_text = {};
  std::u16string_view result = {};
  bool found = false;
  int32_t number = 0;
};

// Called with every event in the order they happen.
using ScriptObserver = std::function<void(const ScriptEvent&)>;

}  // namespace comsvc
