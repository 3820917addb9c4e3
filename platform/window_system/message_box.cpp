#include "platform/message_box.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/message_box_layout.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/standard_classes.h"

namespace platform {
namespace {

constexpr WORD kIconId = 0xFFF0;
constexpr WORD kTextId = 0xFFF1;

struct BoxInfo {
    MessageBoxContent content;
};

struct Boxes {
    std::mutex mutex;
    std::map<HWND, const BoxInfo*> shown;
};

Boxes& boxes() {
    static Boxes instance;
    return instance;
}

const BoxInfo* find_box(HWND hwnd) {
    std::lock_guard lock(boxes().mutex);
    auto it = boxes().shown.find(hwnd);
    return it == boxes().shown.end() ? nullptr : it->second;
}

struct ButtonSpec {
    int id;
    const char* caption;
};

std::vector<ButtonSpec> buttons_for(UINT style) {
    switch (style & 0xF) {
        case MB_OK:
            return {{IDOK, "OK"}};
        case MB_OKCANCEL:
            return {{IDOK, "OK"}, {IDCANCEL, "Cancel"}};
        case MB_ABORTRETRYIGNORE:
            return {{IDABORT, "Abort"}, {IDRETRY, "Retry"}, {IDIGNORE, "Ignore"}};
        case MB_YESNOCANCEL:
            return {{IDYES, "Yes"}, {IDNO, "No"}, {IDCANCEL, "Cancel"}};
        case MB_YESNO:
            return {{IDYES, "Yes"}, {IDNO, "No"}};
        case MB_RETRYCANCEL:
            return {{IDRETRY, "Retry"}, {IDCANCEL, "Cancel"}};
        default:
            return {};
    }
}

int icon_for(UINT style) {
    switch (style & 0xF0) {
        case MB_ICONHAND:
            return IDI_HAND;
        case MB_ICONQUESTION:
            return IDI_QUESTION;
        case MB_ICONEXCLAMATION:
            return IDI_EXCLAMATION;
        case MB_ICONINFORMATION:
            return IDI_ASTERISK;
        default:
            return 0;
    }
}

// Pixels to dialog units, rounded up so that nothing shrinks. The layout keeps every size
// within the screen; the clamp only guards the 16-bit field against an absurd screen.
short to_dialog_units(int px, int units_per_base, int base) {
    const long long units = (static_cast<long long>(px) * units_per_base + base - 1) / base;
    return static_cast<short>(std::clamp<long long>(units, -32768, 32767));
}
short to_du_x(int px, int bx) {
    return to_dialog_units(px, 4, bx);
}
short to_du_y(int px, int by) {
    return to_dialog_units(px, 8, by);
}

DialogItemTemplate item(const char* cls, std::string title, DWORD style, WORD id, int x, int y,
                        int cx, int cy, int bx, int by) {
    DialogItemTemplate it;
    it.class_name = cls;
    it.title = std::move(title);
    it.style = WS_CHILD | WS_VISIBLE | style;
    it.id = id;
    it.x = to_du_x(x, bx);
    it.y = to_du_y(y, by);
    it.cx = to_du_x(cx, bx);
    it.cy = to_du_y(cy, by);
    return it;
}

bool has_button(const BoxInfo& info, int id) {
    const auto& b = info.content.buttons;
    return std::find(b.begin(), b.end(), id) != b.end();
}

std::intptr_t box_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_INITDIALOG) {
        const auto* info = reinterpret_cast<const BoxInfo*>(lparam);
        {
            std::lock_guard lock(boxes().mutex);
            boxes().shown[hwnd] = info;
        }
        RECT frame{};
        GetWindowRect(hwnd, &frame);
        // The layout leaves room for the frame on any real screen; on a tiny one the frame
        // is what gives way, so that the box never reaches past the screen's edges.
        const RECT screen = CurrentDisplay().screen_rect();
        const int width = std::min(frame.width(), std::max(1, screen.width()));
        const int height = std::min(frame.height(), std::max(1, screen.height()));
        MoveWindow(hwnd, screen.left + std::max(0, (screen.width() - width) / 2),
                   screen.top + std::max(0, (screen.height() - height) / 2), width, height, false);
        SetFocus(GetDlgItem(hwnd, info->content.default_button));
        return 0;  // the focus is set already
    }
    const BoxInfo* info = find_box(hwnd);
    if (info == nullptr) {
        return 0;
    }
    switch (msg) {
        case WM_COMMAND: {
            if (HIWORD(wparam) > 1) {
                return 1;
            }
            int id = LOWORD(wparam);
            if (id == IDCANCEL && !has_button(*info, IDCANCEL)) {
                // Escape and the close box count as Cancel; a lone OK button stands in for it.
                if (info->content.buttons.size() != 1 || info->content.buttons[0] != IDOK) {
                    return 1;
                }
                id = IDOK;
            }
            if (has_button(*info, id)) {
                EndDialog(hwnd, id);
            }
            return 1;
        }
        case WM_DESTROY: {
            std::lock_guard lock(boxes().mutex);
            boxes().shown.erase(hwnd);
            return 0;
        }
        default:
            return 0;
    }
}

}  // namespace

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT style) {
    std::vector<ButtonSpec> buttons = buttons_for(style);
    if (buttons.empty()) {
        return 0;
    }
    BoxInfo info;
    info.content.text = std::string(text);
    info.content.caption = std::string(caption);
    info.content.style = style;
    for (const auto& b : buttons) {
        info.content.buttons.push_back(b.id);
    }
    std::size_t default_index = (style & 0xF00) >> 8;
    if (default_index >= buttons.size()) {
        default_index = 0;
    }
    info.content.default_button = buttons[default_index].id;

    Display& display = CurrentDisplay();
    const SIZE cell = display.text_cell();
    const int bx = std::max(1, static_cast<int>(cell.cx));
    const int by = std::max(1, static_cast<int>(cell.cy));
    const int icon = icon_for(style);
    const MessageBoxLayout layout = LayOutMessageBox(
        info.content.text,
        {.has_icon = icon != 0,
         .button_count = static_cast<int>(buttons.size()),
         .screen = display.screen_rect(),
         .line_height = by},
        [&display](std::string_view piece) { return display.text_width(std::string(piece)); });

    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.title = info.content.caption;
    t.cx = to_du_x(layout.client_width, bx);
    t.cy = to_du_y(layout.client_height, by);
    if (icon != 0) {
        // Appended, not "#" + std::to_string(icon): that draws a false -Wrestrict from GCC 12
        // at -O3 in the string's inlined replace.
        std::string icon_name(1, '#');
        icon_name.append(std::to_string(icon));
        t.items.push_back(item("Static", std::move(icon_name), SS_ICON, kIconId, kMessageBoxMargin,
                               kMessageBoxMargin, kMessageBoxIconSize, kMessageBoxIconSize, bx,
                               by));
    }
    t.items.push_back(item("Static", layout.text, SS_LEFT, kTextId, layout.text_x, layout.text_y,
                           layout.text_width, layout.text_height, bx, by));
    int x = layout.buttons_x;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        DWORD kind = i == default_index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        t.items.push_back(item("Button", buttons[i].caption, WS_TABSTOP | kind,
                               static_cast<WORD>(buttons[i].id), x, layout.buttons_y,
                               kMessageBoxButtonWidth, kMessageBoxButtonHeight, bx, by));
        x += kMessageBoxButtonWidth + kMessageBoxButtonGap;
    }
    std::intptr_t result =
        detail::RunModalDialog(t, owner, box_proc, reinterpret_cast<LPARAM>(&info),
                               [](HWND box) { CurrentDisplay().message_box_shown(box); });
    return result < 0 ? 0 : static_cast<int>(result);
}

bool GetMessageBoxContent(HWND box, MessageBoxContent* content) {
    std::lock_guard lock(boxes().mutex);
    auto it = boxes().shown.find(box);
    if (it == boxes().shown.end() || content == nullptr) {
        return false;
    }
    *content = it->second->content;
    return true;
}

bool Beep(unsigned frequency_hz, unsigned duration_ms) {
    CurrentDisplay().beep(frequency_hz, duration_ms);
    return true;
}

}  // namespace platform
