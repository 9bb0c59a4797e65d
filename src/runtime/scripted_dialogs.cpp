#include <comsvc/testing/scripted_dialogs.h>

namespace comsvc::platform {

ScriptedDialogs::ScriptedDialogs(std::vector<std::optional<std::u16string>> answers) : answers_(std::move(answers)) {}

void ScriptedDialogs::ShowMessageBox(const std::u16string& text, const std::u16string& title, BoxIcon icon) {
  DialogRecord record;
  record.kind = DialogRecord::Kind::kMessage;
  record.text = text;
  record.title = title;
  record.icon = icon;
  records_.push_back(std::move(record));
}

std::optional<std::u16string> ScriptedDialogs::ShowInputBox(const std::u16string& prompt, const std::u16string& title,
                                                            const std::u16string& default_text) {
  DialogRecord record;
  record.kind = DialogRecord::Kind::kInput;
  record.text = prompt;
  record.title = title;
  record.default_text = default_text;
  if (next_answer_ < answers_.size()) record.answer = answers_[next_answer_++];
  records_.push_back(record);
  return record.answer;
}

}  // namespace comsvc::platform
