// Which runtime error an action raised, for the suites of every module and
// both builds.
#pragma once

#include <cstdint>
#include <string>

#include <comsvc/runtime_error.h>

namespace comsvc::testing {

// The number of the runtime error `action` raised; 0 when it raised none.
template <typename Action>
int32_t RaisedError(Action&& action) {
  try {
    action();
  } catch (const RuntimeError& e) {
    return e.Number();
  }
  return 0;
}

// `show` of what `read` returns, or "error N" for the runtime error it raised:
// one text per outcome, so that a table can hold values and errors alike.
template <typename Read, typename Show>
std::string ResultOrError(Read&& read, Show&& show) {
  try {
    return show(read());
  } catch (const RuntimeError& e) {
    return "error " + std::to_string(e.Number());
  }
}

}  // namespace comsvc::testing
