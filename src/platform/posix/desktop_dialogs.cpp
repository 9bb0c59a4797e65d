#include "platform/desktop_dialogs.h"

#include "platform/posix/zenity_dialogs.h"

namespace comsvc::platform {

bool DesktopDialogsAvailable() { return ZenityDialogs::Available(); }

std::shared_ptr<DialogService> MakeDesktopDialogs() {
  if (!DesktopDialogsAvailable()) return nullptr;
  return std::make_shared<ZenityDialogs>();
}

}  // namespace comsvc::platform
