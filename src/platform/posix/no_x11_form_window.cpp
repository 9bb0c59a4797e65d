// A build without X11 has no desktop windows: every form is headless.
#include "platform/form_window.h"

namespace comsvc::platform {

std::unique_ptr<FormWindow> OpenFormWindow(const FormLayout&, std::function<void()>) { return nullptr; }

}  // namespace comsvc::platform
