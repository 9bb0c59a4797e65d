// A page draws no windows of the desktop's: every form is headless.
#include "os/form_window.h"

namespace comsvc::os {

std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout&, std::function<void()>, EventSink&) { return nullptr; }

}  // namespace comsvc::os
