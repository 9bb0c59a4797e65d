#include <comsvc/message_window.h>

#include <utility>

#include <comsvc/utf8.h>
#include "os/form_window.h"
#include "runtime/loop_events.h"

namespace comsvc {

struct formMsg::Window {
  std::unique_ptr<os::FormWindow> native;
};

formMsg::formMsg() : loop_(platform::MessageLoop::Current()) { Load(); }

formMsg::~formMsg() { Unload(); }

bool formMsg::HasWindow() const { return window_ != nullptr; }

void formMsg::Load() {
  label_text_.clear();
  const os::FormLayout layout{
      EncodeUtf8(kCaption), kClientWidth, kClientHeight, kLabelLeft, kLabelTop, kLabelWidth, kLabelHeight};
  // Closing the window by hand unloads the form, as the timer does.
  std::unique_ptr<os::FormWindow> native = os::OpenFormWindow(layout, [this] { Unload(); }, platform::LoopEvents());
  if (native) window_ = std::make_unique<Window>(Window{std::move(native)});
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
  if (window_) window_->native->Show();
}

void formMsg::setMessage(const std::u16string& sMessage) {
  EnsureLoaded();
  SetLabel(sMessage);
}

void formMsg::SetLabel(const std::u16string& text) {
  label_text_ = text;
  if (window_) window_->native->SetLabelText(EncodeUtf8(text));
}

void formMsg::Timer1Timer() {
  SetLabel(u"");
  Unload();
}

}  // namespace comsvc
