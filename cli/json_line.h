// One JSON object on one line, written a member at a time: the lines that
// `lint --json` and `eval --trace` print.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/json_output.h"

namespace comsvc::cli {

class JsonLine {
 public:
  JsonLine& Text(std::string_view name, std::u16string_view value) {
    Name(name);
    AppendJsonString(line_, value);
    return *this;
  }
  JsonLine& Number(std::string_view name, int64_t value) {
    Name(name);
    line_ += std::to_string(value);
    return *this;
  }
  JsonLine& Flag(std::string_view name, bool value) {
    Name(name);
    line_ += value ? "true" : "false";
    return *this;
  }
  // The line, closed and ended by a newline.
  std::string Finish() { return line_ + "}\n"; }

 private:
  void Name(std::string_view name) {
    line_ += line_.size() == 1 ? "\"" : ",\"";
    line_ += name;
    line_ += "\":";
  }

  std::string line_ = "{";
};

}  // namespace comsvc::cli
