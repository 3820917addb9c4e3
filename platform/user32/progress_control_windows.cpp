// The system's own progress bar: the common controls register it on request.

#include "platform/progress_control.h"

#include <windows.h>

#include <commctrl.h>

namespace platform {

bool EnsureProgressControlClass() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_PROGRESS_CLASS;
    return InitCommonControlsEx(&controls) != FALSE;
}

}  // namespace platform
