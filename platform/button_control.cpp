// The "Button" window class, push buttons only (BS_PUSHBUTTON, BS_DEFPUSHBUTTON). A click —
// the mouse released over the button it went down on, Space released after being pressed on
// it, or BM_CLICK — sends WM_COMMAND(MAKELONG(id, BN_CLICKED), button) to the parent. A
// disabled button does not click. Enter is the dialog manager's business (IsDialogMessage).

#include <map>
#include <mutex>

#include "platform/dialog.h"
#include "platform/dialog_manager.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/window.h"

namespace platform {
namespace {

struct Pressed {
    std::mutex mutex;
    std::map<HWND, bool> buttons;
};

Pressed& pressed() {
    static Pressed instance;
    return instance;
}

void set_pressed(HWND hwnd, bool down) {
    {
        std::lock_guard lock(pressed().mutex);
        pressed().buttons[hwnd] = down;
    }
    CurrentDisplay().window_changed(hwnd);
}

bool take_pressed(HWND hwnd) {
    bool was = false;
    {
        std::lock_guard lock(pressed().mutex);
        auto it = pressed().buttons.find(hwnd);
        if (it != pressed().buttons.end()) {
            was = it->second;
            it->second = false;
        }
    }
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

bool IsButtonPressed(HWND hwnd) {
    std::lock_guard lock(pressed().mutex);
    auto it = pressed().buttons.find(hwnd);
    return it != pressed().buttons.end() && it->second;
}

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
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_DESTROY: {
            std::lock_guard lock(pressed().mutex);
            pressed().buttons.erase(hwnd);
            return 0;
        }
        default:
            return DefWindowProc(hwnd, msg, wparam, lparam);
    }
}

}  // namespace detail
}  // namespace platform
