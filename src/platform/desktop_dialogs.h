// Message and input boxes drawn on the desktop by the operating system.
#pragma once

#include <memory>

#include <comsvc/dialogs.h>

namespace comsvc::platform {

// Whether boxes can be shown on a desktop right now.
bool DesktopDialogsAvailable();

// The desktop's boxes; nullptr when DesktopDialogsAvailable() is false.
std::shared_ptr<DialogService> MakeDesktopDialogs();

}  // namespace comsvc::platform
