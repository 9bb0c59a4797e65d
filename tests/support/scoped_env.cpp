#include "support/scoped_env.h"

#include <cstdlib>

namespace comsvc::testing {
namespace {

void SetOrRemove(const char* name, const std::optional<std::string>& value) {
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace

ScopedEnv::ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  SetOrRemove(name, value);
}

ScopedEnv::~ScopedEnv() { SetOrRemove(name_, old_); }

}  // namespace comsvc::testing
