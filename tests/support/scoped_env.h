// Setting an environment variable for the length of a test.
#pragma once

#include <optional>
#include <string>

namespace comsvc::testing {

// Sets (or, with nullopt, removes) a variable; the old state comes back with
// the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace comsvc::testing
