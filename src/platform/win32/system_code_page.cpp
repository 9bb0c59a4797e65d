#include "platform/system_code_page.h"

#include <windows.h>

namespace comsvc::platform {

int SystemCodePage() { return static_cast<int>(GetACP()); }

}  // namespace comsvc::platform
