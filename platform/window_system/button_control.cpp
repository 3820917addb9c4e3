// The "Button" window class, push buttons only (BS_PUSHBUTTON, BS_DEFPUSHBUTTON). A click —
// the mouse released over the button it went down on, Space released after being pressed on
// it, or BM_CLICK — sends WM_COMMAND(MAKELONG(id, BN_CLICKED), button) to the parent. A
// disabled button does not click. Enter is the dialog manager's business (IsDialogMessage).

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/control_values.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/window_system.h"

namespace platform {
namespace {

detail::ControlValues<bool>& pressed() {
    static detail::ControlValues<bool> instance;
    return instance;
}

void set_pressed(HWND hwnd, bool down) {
    pressed().exchange(hwnd, down);
    CurrentDisplay().window_changed(hwnd);
}

bool take_pressed(HWND hwnd) {
    const bool was = pressed().exchange(hwnd, false);
    if (was) {
        CurrentDisplay().window_changed(hwnd);
    }
    return was;
}

void click(HWND hwnd) {
    if (!IsWindowEnabled(hwnd)) {
        return;
    }
    HWND parent = GetParent(hwnd);
    if (parent != 0) {
        SendMessage(parent, WM_COMMAND, MAKELONG(static_cast<WORD>(GetDlgCtrlID(hwnd)), BN_CLICKED),
                    static_cast<LPARAM>(hwnd));
    }
}

bool is_default(HWND hwnd) {
    return (static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)) & 0xF) == BS_DEFPUSHBUTTON;
}

}  // namespace

namespace detail {

LRESULT ButtonClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_GETDLGCODE:
            return DLGC_BUTTON | (is_default(hwnd) ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
        case BM_CLICK:
            click(hwnd);
            return 0;
        case BM_SETSTYLE: {
            auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
            style = (style & ~0xFu) | (static_cast<DWORD>(wparam) & 0xF);
            SetWindowLongPtr(hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
            if (lparam != 0) {
                InvalidateRect(hwnd, true);
            }
            return 0;
        }
        case WM_KEYDOWN:
            if (static_cast<int>(wparam) == VK_SPACE) {
                set_pressed(hwnd, true);
            }
            return 0;
        case WM_KEYUP:
            if (static_cast<int>(wparam) == VK_SPACE && take_pressed(hwnd)) {
                click(hwnd);
            }
            return 0;
        case WM_LBUTTONDOWN:
            if (GetFocus() != hwnd) {
                SetFocus(hwnd);
            }
            set_pressed(hwnd, true);
            return 0;
        case WM_LBUTTONUP: {
            if (!take_pressed(hwnd)) {
                return 0;
            }
            RECT client{};
            GetClientRect(hwnd, &client);
            auto x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
            auto y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
            if (x >= 0 && y >= 0 && x < client.right && y < client.bottom) {
                click(hwnd);
            }
            return 0;
        }
        case WM_KILLFOCUS:
            take_pressed(hwnd);
            CurrentDisplay().window_changed(hwnd);
            return 0;
        case WM_SETFOCUS:
            CurrentDisplay().window_changed(hwnd);
            return 0;
        default:
            return pressed().default_proc(hwnd, msg, wparam, lparam);
    }
}

}  // namespace detail

bool IsButtonPressed(HWND hwnd) {
    return pressed().find(hwnd);
}

}  // namespace platform
