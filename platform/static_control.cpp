// The "Static" window class: a text label, or with SS_ICON a system icon. An icon control
// created from a template names its icon by ordinal ("#32515"); STM_SETICON / STM_GETICON set
// and read the icon id afterwards. Drawing is the display's job.

#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/dialog.h"
#include "platform/dialog_manager.h"
#include "platform/display.h"
#include "platform/window.h"

namespace platform {
namespace {

struct Icons {
    std::mutex mutex;
    std::map<HWND, int> ids;
};

Icons& icons() {
    static Icons instance;
    return instance;
}

int set_icon(HWND hwnd, int id) {
    std::lock_guard lock(icons().mutex);
    int& slot = icons().ids[hwnd];
    int old = slot;
    slot = id;
    return old;
}

}  // namespace

int GetStaticIconId(HWND hwnd) {
    std::lock_guard lock(icons().mutex);
    auto it = icons().ids.find(hwnd);
    return it == icons().ids.end() ? 0 : it->second;
}

namespace detail {

LRESULT StaticClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE: {
            auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
            if ((style & 0x1F) == SS_ICON) {
                std::string name = GetStoredWindowText(hwnd);
                int id = name.size() > 1 && name[0] == '#' ? std::atoi(name.c_str() + 1) : 0;
                set_icon(hwnd, id);
            }
            return 0;
        }
        case STM_SETICON: {
            int old = set_icon(hwnd, static_cast<int>(wparam));
            CurrentDisplay().window_changed(hwnd);
            return old;
        }
        case STM_GETICON:
            return GetStaticIconId(hwnd);
        case WM_GETDLGCODE:
            return DLGC_STATIC;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY: {
            std::lock_guard lock(icons().mutex);
            icons().ids.erase(hwnd);
            return 0;
        }
        default:
            return DefWindowProc(hwnd, msg, wparam, lparam);
    }
}

}  // namespace detail
}  // namespace platform
