#include <comsvc/message_window.h>

#include <utility>

#include "platform/form_window.h"

namespace comsvc {

formMsg::formMsg() : loop_(platform::MessageLoop::Current()) { Load(); }

formMsg::~formMsg() { Unload(); }

void formMsg::Load() {
  label_text_.clear();
  platform::FormLayout layout{
      std::u16string(kCaption), kClientWidth, kClientHeight, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight};
  // Closing the window by hand unloads the form, as the timer does.
  window_ = platform::OpenFormWindow(layout, [this] { Unload(); });
  timer_ = loop_.StartTimer(kTimerInterval, [this] { Timer1Timer(); });
  loaded_ = true;
}

void formMsg::EnsureLoaded() {
  if (!loaded_) Load();
}

void formMsg::Unload() {
  if (!loaded_) return;
  loaded_ = false;
  loop_.StopTimer(std::exchange(timer_, 0));
  window_.reset();
}

void formMsg::Show() {
  EnsureLoaded();
  if (window_) window_->Show();
}

void formMsg::setMessage(const std::u16string& sMessage) {
  EnsureLoaded();
  SetLabel(sMessage);
}

void formMsg::SetLabel(const std::u16string& text) {
  label_text_ = text;
  if (window_) window_->SetLabelText(text);
}

void formMsg::Timer1Timer() {
  SetLabel(u"");
  Unload();
}

}  // namespace comsvc
