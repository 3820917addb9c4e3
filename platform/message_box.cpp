#include "platform/message_box.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/dialog.h"
#include "platform/dialog_manager.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/window.h"

namespace platform {
namespace {

// Layout of a box in pixels.
constexpr int kMargin = 12;
constexpr int kIconSize = 32;
constexpr int kIconGap = 12;
constexpr int kButtonWidth = 76;
constexpr int kButtonHeight = 24;
constexpr int kButtonGap = 8;
constexpr int kMinTextWidth = 120;
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

std::vector<std::string> split_lines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find('\n', start);
        std::string_view line =
            text.substr(start, end == std::string_view::npos ? end : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        start = end + 1;
    }
}

// Pixels to dialog units, rounded up so that nothing shrinks.
short to_du_x(int px, int bx) {
    return static_cast<short>((px * 4 + bx - 1) / bx);
}
short to_du_y(int px, int by) {
    return static_cast<short>((px * 8 + by - 1) / by);
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
        RECT screen = CurrentDisplay().screen_rect();
        MoveWindow(hwnd, screen.left + (screen.width() - frame.width()) / 2,
                   screen.top + (screen.height() - frame.height()) / 2, frame.width(),
                   frame.height(), false);
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
    const std::vector<std::string> lines = split_lines(text);
    int text_width = kMinTextWidth;
    for (const auto& line : lines) {
        text_width = std::max(text_width, display.text_width(line));
    }
    const int text_height = static_cast<int>(lines.size()) * by;
    const int icon = icon_for(style);
    const int text_x = kMargin + (icon != 0 ? kIconSize + kIconGap : 0);
    const int block_height = std::max(text_height, icon != 0 ? kIconSize : 0);
    const int row_width = static_cast<int>(buttons.size()) * kButtonWidth +
                          static_cast<int>(buttons.size() - 1) * kButtonGap;
    const int client_width = std::max(text_x + text_width + kMargin, row_width + 2 * kMargin);
    const int buttons_y = kMargin + block_height + kMargin;
    const int client_height = buttons_y + kButtonHeight + kMargin;

    DialogTemplate t;
    t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
    t.title = info.content.caption;
    t.cx = to_du_x(client_width, bx);
    t.cy = to_du_y(client_height, by);
    if (icon != 0) {
        t.items.push_back(item("Static", "#" + std::to_string(icon), SS_ICON, kIconId, kMargin,
                               kMargin, kIconSize, kIconSize, bx, by));
    }
    t.items.push_back(item("Static", info.content.text, SS_LEFT, kTextId, text_x, kMargin,
                           text_width, text_height, bx, by));
    int x = (client_width - row_width) / 2;
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        DWORD kind = i == default_index ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        t.items.push_back(item("Button", buttons[i].caption, WS_TABSTOP | kind,
                               static_cast<WORD>(buttons[i].id), x, buttons_y, kButtonWidth,
                               kButtonHeight, bx, by));
        x += kButtonWidth + kButtonGap;
    }
    std::intptr_t result =
        detail::run_modal_dialog(t, owner, box_proc, reinterpret_cast<LPARAM>(&info),
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
