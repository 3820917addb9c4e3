#include "platform/window_system/standard_classes.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/state.h"
#include "platform/window_system/window_system.h"

namespace platform {
namespace {

enum class Modality { Modal, Modeless };

struct DialogRecord {
    DLGPROC proc = nullptr;
    Modality modality = Modality::Modal;
    bool ended = false;
    std::intptr_t result = 0;
};

struct Registry {
    std::mutex mutex;
    std::map<HWND, std::shared_ptr<DialogRecord>> dialogs;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

// The record of the dialog being created on this thread, bound to its window by the first
// message the window receives, so that the dialog procedure sees even WM_CREATE.
thread_local std::shared_ptr<DialogRecord> t_pending;

std::shared_ptr<DialogRecord> find_record(HWND hwnd) {
    std::lock_guard lock(registry().mutex);
    auto it = registry().dialogs.find(hwnd);
    return it == registry().dialogs.end() ? nullptr : it->second;
}

void bind_record(HWND hwnd, std::shared_ptr<DialogRecord> record) {
    std::lock_guard lock(registry().mutex);
    registry().dialogs[hwnd] = std::move(record);
}

void forget_record(HWND hwnd) {
    std::lock_guard lock(registry().mutex);
    registry().dialogs.erase(hwnd);
}

// Messages whose answer is the dialog procedure's return value itself rather than the
// DWLP_MSGRESULT slot.
bool answers_directly(UINT msg) {
    constexpr UINT kCtlColorMsgBox = 0x0132;
    constexpr UINT kCompareItem = 0x0039;
    constexpr UINT kVKeyToItem = 0x002E;
    constexpr UINT kCharToItem = 0x002F;
    constexpr UINT kQueryDragIcon = 0x0037;
    return (msg >= kCtlColorMsgBox && msg <= WM_CTLCOLORSTATIC) || msg == kCompareItem ||
           msg == kVKeyToItem || msg == kCharToItem || msg == kQueryDragIcon ||
           msg == WM_INITDIALOG;
}

int mul_div(int value, int numerator, int denominator) {
    long long product = static_cast<long long>(value) * numerator;
    long long half = denominator / 2;
    long long rounded =
        product >= 0 ? (product + half) / denominator : -((-product + half) / denominator);
    return static_cast<int>(rounded);
}

bool is_within(HWND ancestor, HWND hwnd) {
    while (hwnd != 0) {
        if (hwnd == ancestor) {
            return true;
        }
        hwnd = GetParent(hwnd);
    }
    return false;
}

bool has_style(HWND hwnd, DWORD bits) {
    return (static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE)) & bits) == bits;
}

// Gives a control the focus the way the dialog manager does: an edit control gets its whole
// text selected first.
void set_dialog_focus(HWND control) {
    if ((SendMessage(control, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
        SendMessage(control, EM_SETSEL, 0, -1);
    }
    SetFocus(control);
}

void move_focus(HWND dialog, bool previous, bool select) {
    HWND focus = GetFocus();
    if (focus == dialog || !is_within(dialog, focus)) {
        focus = 0;
    }
    HWND next = GetNextDlgTabItem(dialog, focus, previous);
    if (next == 0) {
        return;
    }
    if (select) {
        set_dialog_focus(next);
    } else {
        SetFocus(next);
    }
}

// The push button that Enter presses: the focused one, else the default one.
HWND default_button(HWND dialog) {
    HWND focus = GetFocus();
    if (focus != 0 && focus != dialog && is_within(dialog, focus) &&
        (SendMessage(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) !=
            0) {
        return focus;
    }
    for (HWND child : GetChildren(dialog)) {
        if ((SendMessage(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0) {
            return child;
        }
    }
    return 0;
}

POINT dialog_units_to_pixels(int x, int y) {
    RECT r = DialogUnitsToPixels({x, y, x, y});
    return {r.left, r.top};
}

// Creates the dialog window and its controls and runs WM_INITDIALOG. Returns 0 when the
// window or one of its controls cannot be created, or when the dialog procedure destroyed it.
HWND create_dialog(const DialogTemplate& t, HWND owner, LPARAM init_param,
                   const std::shared_ptr<DialogRecord>& record) {
    detail::EnsureStandardClasses();
    // Only the standard dialog class: another class would need its own procedure to reach
    // the dialog procedure.
    if (!t.class_name.empty()) {
        return 0;
    }
    for (const auto& item : t.items) {
        if (item.class_name.empty() || !IsClassRegistered(item.class_name)) {
            return 0;
        }
    }
    const bool child = (t.style & WS_CHILD) != 0;
    if (child && owner == 0) {
        return 0;
    }
    const DWORD style = t.style & ~WS_VISIBLE;
    RECT client = DialogUnitsToPixels({0, 0, t.cx, t.cy});
    RECT frame = AdjustWindowRect(client, style, child);
    POINT position = dialog_units_to_pixels(t.x, t.y);
    if (owner != 0 && !child) {
        POINT origin{};
        ClientToScreen(owner, &origin);
        position.x += origin.x;
        position.y += origin.y;
    }

    t_pending = record;
    HWND dialog = CreateWindowEx(t.ex_style, "#32770", t.title, style, position.x, position.y,
                                 frame.width(), frame.height(), child ? owner : 0, 0, 0);
    t_pending.reset();
    if (dialog == 0) {
        return 0;
    }
    for (const auto& item : t.items) {
        RECT r = DialogUnitsToPixels({item.x, item.y, item.x + item.cx, item.y + item.cy});
        LPARAM data =
            item.creation_data.empty() ? 0 : reinterpret_cast<LPARAM>(item.creation_data.data());
        HWND control =
            CreateWindowEx(item.ex_style, item.class_name, item.title, item.style | WS_CHILD,
                           r.left, r.top, r.width(), r.height(), dialog, item.id, data);
        if (control == 0 || !IsWindow(dialog)) {
            DestroyWindow(dialog);
            return 0;
        }
    }
    HWND first = GetNextDlgTabItem(dialog, 0, false);
    LRESULT set_focus = SendMessage(dialog, WM_INITDIALOG, first, init_param);
    if (!IsWindow(dialog)) {
        return 0;
    }
    if (set_focus != 0 && !record->ended) {
        if (first != 0) {
            set_dialog_focus(first);
        } else {
            SetFocus(dialog);
        }
    }
    return dialog;
}

}  // namespace

namespace detail {

LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    std::shared_ptr<DialogRecord> record = find_record(hwnd);
    if (!record && t_pending) {
        record = std::exchange(t_pending, nullptr);
        bind_record(hwnd, record);
    }
    LRESULT answer = 0;
    bool handled = false;
    if (record && record->proc != nullptr) {
        // A nested message must not take the answer the outer one has already stored.
        LONG_PTR outer = SetWindowLongPtr(hwnd, DWLP_MSGRESULT, 0);
        std::intptr_t result = record->proc(hwnd, msg, wparam, lparam);
        LONG_PTR stored = GetWindowLongPtr(hwnd, DWLP_MSGRESULT);
        SetWindowLongPtr(hwnd, DWLP_MSGRESULT, outer);
        if (result != 0) {
            handled = true;
            answer = answers_directly(msg) ? result : stored;
        }
    }
    if (!handled) {
        answer = DefDlgProc(hwnd, msg, wparam, lparam);
    }
    if (msg == WM_DESTROY) {
        forget_record(hwnd);
    }
    return answer;
}

std::intptr_t RunModalDialog(const DialogTemplate& dialog_template, HWND owner, DLGPROC proc,
                             LPARAM init_param, const std::function<void(HWND)>& on_loop_start) {
    if (owner != 0 && !IsWindow(owner)) {
        owner = 0;
    }
    const HWND focus_before = GetFocus();
    auto record = std::make_shared<DialogRecord>();
    record->proc = proc;
    record->modality = Modality::Modal;
    HWND dialog = create_dialog(dialog_template, owner, init_param, record);
    if (dialog == 0) {
        return record->ended ? record->result : -1;
    }
    bool owner_disabled = false;
    if (owner != 0 && IsWindowEnabled(owner)) {
        EnableWindow(owner, false);
        owner_disabled = true;
    }
    bool quit = false;
    int quit_code = 0;
    if (!record->ended) {
        ShowWindow(dialog, SW_SHOWNORMAL);
        if (on_loop_start) {
            on_loop_start(dialog);
        }
    }
    MSG msg;
    while (!record->ended && IsWindow(dialog)) {
        if (!GetMessage(&msg, 0, 0, 0)) {
            quit = true;
            quit_code = static_cast<int>(msg.wParam);
            break;
        }
        if (!IsDialogMessage(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessage(&msg);
        }
    }
    const std::intptr_t result = record->ended ? record->result : 0;
    if (owner_disabled && IsWindow(owner)) {
        EnableWindow(owner, true);
    }
    if (IsWindow(dialog)) {
        DestroyWindow(dialog);
    }
    // Give the focus back to where it was, as the owner's reactivation would.
    if (owner != 0 && IsWindow(owner) && IsWindowVisible(owner)) {
        SetActiveWindow(owner);
    }
    if (GetFocus() == 0 && focus_before != 0 && IsWindow(focus_before) &&
        IsWindowEnabled(focus_before)) {
        SetFocus(focus_before);
    }
    if (quit) {
        PostQuitMessage(quit_code);
    }
    return result;
}

}  // namespace detail

std::intptr_t DialogBoxIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                                     LPARAM init_param) {
    std::optional<DialogTemplate> parsed = ParseDialogTemplate(template_bytes);
    if (!parsed) {
        return -1;
    }
    return detail::RunModalDialog(*parsed, owner, proc, init_param, {});
}

HWND CreateDialogIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                               LPARAM init_param) {
    std::optional<DialogTemplate> parsed = ParseDialogTemplate(template_bytes);
    if (!parsed) {
        return 0;
    }
    if (owner != 0 && !IsWindow(owner)) {
        owner = 0;
    }
    auto record = std::make_shared<DialogRecord>();
    record->proc = proc;
    record->modality = Modality::Modeless;
    HWND dialog = create_dialog(*parsed, owner, init_param, record);
    if (dialog != 0 && (parsed->style & WS_VISIBLE) != 0 && !record->ended) {
        ShowWindow(dialog, SW_SHOWNORMAL);
    }
    return dialog;
}

bool EndDialog(HWND dialog, std::intptr_t result) {
    std::shared_ptr<DialogRecord> record = find_record(dialog);
    if (!record) {
        return false;
    }
    if (record->modality == Modality::Modal) {
        record->ended = true;
        record->result = result;
    }
    ShowWindow(dialog, SW_HIDE);
    if (record->modality == Modality::Modal) {
        // Wakes a modal loop that waits for input, so that it sees the end mark.
        PostMessage(dialog, WM_NULL, 0, 0);
    }
    return true;
}

bool IsDialogMessage(HWND dialog, MSG* msg) {
    if (msg == nullptr || dialog == 0 || msg->hwnd == 0 || !is_within(dialog, msg->hwnd) ||
        !IsWindow(dialog)) {
        return false;
    }
    if (msg->message == WM_KEYDOWN) {
        LRESULT code =
            SendMessage(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
        if ((code & DLGC_WANTMESSAGE) == 0) {
            const bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
            switch (static_cast<int>(msg->wParam)) {
                case VK_TAB:
                    if ((code & DLGC_WANTTAB) == 0) {
                        move_focus(dialog, shift, true);
                        return true;
                    }
                    break;
                case VK_ESCAPE:
                    SendMessage(dialog, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED),
                                static_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
                    return true;
                case VK_RETURN: {
                    HWND button = default_button(dialog);
                    if (button != 0 && !IsWindowEnabled(button)) {
                        return true;
                    }
                    int id = button != 0 ? GetDlgCtrlID(button) : IDOK;
                    if (button == 0) {
                        button = GetDlgItem(dialog, IDOK);
                    }
                    SendMessage(dialog, WM_COMMAND, MAKELONG(static_cast<WORD>(id), BN_CLICKED),
                                static_cast<LPARAM>(button));
                    return true;
                }
                case VK_LEFT:
                case VK_UP:
                case VK_RIGHT:
                case VK_DOWN:
                    if ((code & DLGC_WANTARROWS) == 0) {
                        const bool back = msg->wParam == static_cast<WPARAM>(VK_LEFT) ||
                                          msg->wParam == static_cast<WPARAM>(VK_UP);
                        move_focus(dialog, back, false);
                        return true;
                    }
                    break;
                default:
                    break;
            }
        }
    }
    TranslateMessage(msg);
    DispatchMessage(msg);
    return true;
}

LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CLOSE:
            PostMessage(hwnd, WM_COMMAND, MAKELONG(IDCANCEL, BN_CLICKED),
                        static_cast<LPARAM>(GetDlgItem(hwnd, IDCANCEL)));
            return 0;
        case WM_GETDLGCODE:
        case WM_INITDIALOG:
            return 0;
        default:
            return DefWindowProc(hwnd, msg, wparam, lparam);
    }
}

long GetDialogBaseUnits() {
    SIZE cell = CurrentDisplay().text_cell();
    return static_cast<long>(MAKELONG(static_cast<WORD>(cell.cx), static_cast<WORD>(cell.cy)));
}

RECT DialogUnitsToPixels(RECT dialog_units) {
    long units = GetDialogBaseUnits();
    int bx = LOWORD(static_cast<std::uintptr_t>(units));
    int by = HIWORD(static_cast<std::uintptr_t>(units));
    return {mul_div(dialog_units.left, bx, 4), mul_div(dialog_units.top, by, 8),
            mul_div(dialog_units.right, bx, 4), mul_div(dialog_units.bottom, by, 8)};
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
    std::vector<HWND> children = GetChildren(dialog);
    std::vector<HWND> stops;
    for (HWND child : children) {
        if (has_style(child, WS_TABSTOP) && has_style(child, WS_VISIBLE) &&
            IsWindowEnabled(child)) {
            stops.push_back(child);
        }
    }
    if (stops.empty()) {
        return 0;
    }
    // Position of `control` among all children, so that a control that is not a tab stop
    // itself still finds its neighbours.
    std::size_t n = children.size();
    std::size_t at = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (children[i] == control) {
            at = i;
        }
    }
    if (at == n) {
        return previous ? stops.back() : stops.front();
    }
    for (std::size_t step = 1; step <= n; ++step) {
        std::size_t i = previous ? (at + n - step) % n : (at + step) % n;
        HWND candidate = children[i];
        if (has_style(candidate, WS_TABSTOP) && has_style(candidate, WS_VISIBLE) &&
            IsWindowEnabled(candidate)) {
            return candidate;
        }
    }
    return 0;
}

}  // namespace platform
