// A dialog service that answers from a list instead of a person: for tests
// and batch runs that must not wait for a user. It owns its answers and its
// record of the boxes shown, and raises nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <comsvc/dialogs.h>

namespace comsvc::platform {

// Answers input boxes from a list, in order, and records every box shown.
// Input boxes beyond the list are cancelled. Message boxes close at once.
class ScriptedDialogs : public DialogService {
 public:
  explicit ScriptedDialogs(std::vector<std::optional<std::u16string>> answers = {});
  void ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) override;
  std::optional<std::u16string> ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                             const std::u16string& default_text) override;
  const std::vector<DialogRecord>& Records() const { return records_; }

 private:
  std::vector<std::optional<std::u16string>> answers_;
  size_t next_answer_ = 0;
  std::vector<DialogRecord> records_;
};

}  // namespace comsvc::platform
