// The "Static" window class: a text label, or with SS_ICON a system icon. An icon control
// created from a template names its icon by ordinal ("#32515"); STM_SETICON / STM_GETICON set
// and read the icon id afterwards. Drawing is the display's job.

#include <cstdlib>

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/window.h"
#include "platform/window_system/control_values.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/window_system.h"

namespace platform {
namespace {

detail::ControlValues<int>& icons() {
    static detail::ControlValues<int> instance;
    return instance;
}

}  // namespace

int GetStaticIconId(HWND hwnd) {
    return icons().find(hwnd);
}

namespace detail {

LRESULT StaticClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE: {
            auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
            if ((style & 0x1F) == SS_ICON) {
                std::string name = GetStoredWindowText(hwnd);
                int id = name.size() > 1 && name[0] == '#' ? std::atoi(name.c_str() + 1) : 0;
                icons().exchange(hwnd, id);
            }
            return 0;
        }
        case STM_SETICON: {
            int old = icons().exchange(hwnd, static_cast<int>(wparam));
            CurrentDisplay().window_changed(hwnd);
            return old;
        }
        case STM_GETICON:
            return GetStaticIconId(hwnd);
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        default:
            return icons().default_proc(hwnd, msg, wparam, lparam);
    }
}

}  // namespace detail
}  // namespace platform
