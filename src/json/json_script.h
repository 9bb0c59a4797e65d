// cJSONScript: runs scripts written in JSON and renders values as plain text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "core/value.h"

namespace comsvc {

class cJSONScript {
 public:
  std::u16string Eval(const std::u16string& sJSON);
  std::u16string ExecCommand(const Value& obj);

  int32_t Level() const { return m_Level; }

 private:
  std::shared_ptr<Dictionary> m_Vars;
  int32_t m_Level = 0;
};

}  // namespace comsvc
