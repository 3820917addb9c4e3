#include "platform/window.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/text.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/state.h"
#include "platform/window_system/window_system.h"

namespace platform {
namespace detail {

State& SharedState() {
    static State instance;
    return instance;
}

WindowData* FindWindowData(HWND hwnd) {
    auto& windows = SharedState().windows;
    auto it = windows.find(hwnd);
    return it == windows.end() ? nullptr : it->second.get();
}

ThreadQueue& QueueOf(std::thread::id thread) {
    auto& slot = SharedState().queues[thread];
    if (!slot) {
        slot = std::make_unique<ThreadQueue>();
    }
    return *slot;
}

void WakeQueue(ThreadQueue& queue) {
    queue.arrived.notify_all();
    CurrentDisplay().wake();
}

}  // namespace detail

using detail::FindWindowData;
using detail::SharedState;
using detail::WindowData;

namespace {

bool is_child(const WindowData& w) {
    return (w.style & WS_CHILD) != 0;
}

// A top-level window has a caption unless it is a popup without WS_CAPTION; overlapped windows
// (style 0) always get one.
bool has_caption(DWORD style) {
    return (style & WS_CAPTION) == WS_CAPTION || (style & WS_POPUP) == 0;
}

// Offsets of the client area inside the window rectangle: left, top, right, bottom.
RECT client_insets(const WindowData& w) {
    RECT insets{};
    if (is_child(w)) {
        if ((w.style & WS_BORDER) != 0) {
            insets = {1, 1, 1, 1};
        }
    } else if (has_caption(w.style)) {
        insets = {kFrameWidth, kFrameWidth + kCaptionHeight, kFrameWidth, kFrameWidth};
    } else if ((w.style & (WS_BORDER | WS_DLGFRAME)) != 0 || (w.style & DS_MODALFRAME) != 0) {
        insets = {kFrameWidth, kFrameWidth, kFrameWidth, kFrameWidth};
    }
    if ((w.style & WS_VSCROLL) != 0) {
        insets.right += kScrollBarWidth;
    }
    if ((w.style & WS_HSCROLL) != 0) {
        insets.bottom += kScrollBarWidth;
    }
    return insets;
}

// Screen position of the window's client origin.
POINT client_origin(const WindowData& w) {
    RECT insets = client_insets(w);
    POINT p{w.rect.left + insets.left, w.rect.top + insets.top};
    if (is_child(w)) {
        if (WindowData* parent = FindWindowData(w.parent)) {
            POINT base = client_origin(*parent);
            p.x += base.x;
            p.y += base.y;
        }
    }
    return p;
}

void invalidate_tree(HWND hwnd) {
    WindowData* w = FindWindowData(hwnd);
    if (w == nullptr) {
        return;
    }
    w->needs_paint = true;
    w->erase = true;
    for (HWND child : w->children) {
        invalidate_tree(child);
    }
}

void collect_tree(HWND hwnd, std::vector<HWND>& out) {
    out.push_back(hwnd);
    if (WindowData* w = FindWindowData(hwnd)) {
        for (HWND child : w->children) {
            collect_tree(child, out);
        }
    }
}

// Runs `use` on the record of `hwnd` with the state lock held and returns its result; `missing`
// when `hwnd` names no window. `use` must not call into a window procedure (see
// state.h).
template <typename Result, typename Use>
Result with_window(HWND hwnd, Result missing, Use use) {
    std::lock_guard lock(SharedState().mutex);
    WindowData* w = FindWindowData(hwnd);
    return w != nullptr ? static_cast<Result>(use(*w)) : missing;
}

bool contains(HWND ancestor, HWND hwnd) {
    while (hwnd != 0) {
        if (hwnd == ancestor) {
            return true;
        }
        WindowData* w = FindWindowData(hwnd);
        hwnd = w != nullptr ? w->parent : 0;
    }
    return false;
}

}  // namespace

bool RegisterClass(std::string_view class_name, WNDPROC proc) {
    std::lock_guard lock(SharedState().mutex);
    if (class_name.empty() || proc == nullptr) {
        return false;
    }
    for (const auto& c : SharedState().classes) {
        if (EqualsIgnoringCase(c.name, class_name)) {
            return false;
        }
    }
    SharedState().classes.push_back({std::string(class_name), proc});
    return true;
}

namespace {
const detail::ClassInfo* find_class(std::string_view class_name) {
    for (const auto& c : SharedState().classes) {
        if (EqualsIgnoringCase(c.name, class_name)) {
            return &c;
        }
    }
    return nullptr;
}
}  // namespace

bool IsClassRegistered(std::string_view class_name) {
    std::lock_guard lock(SharedState().mutex);
    return find_class(class_name) != nullptr;
}

HWND CreateWindowEx(DWORD ex_style, std::string_view class_name, std::string_view text, DWORD style,
                    int x, int y, int width, int height, HWND parent, int id, LPARAM create_param) {
    detail::EnsureStandardClasses();
    HWND hwnd = 0;
    {
        std::lock_guard lock(SharedState().mutex);
        const detail::ClassInfo* cls = find_class(class_name);
        if (cls == nullptr) {
            return 0;
        }
        WindowData* parent_data = nullptr;
        if (parent != 0) {
            parent_data = FindWindowData(parent);
            if (parent_data == nullptr) {
                return 0;
            }
        } else if ((style & WS_CHILD) != 0) {
            return 0;
        }
        auto data = std::make_unique<WindowData>();
        hwnd = SharedState().next_handle++;
        data->handle = hwnd;
        data->class_name = cls->name;
        data->proc = cls->proc;
        data->parent = parent;
        data->id = id;
        data->text = std::string(text);
        data->style = style & ~WS_VISIBLE;
        data->ex_style = ex_style;
        data->rect = {x, y, x + width, y + height};
        data->enabled = (style & WS_DISABLED) == 0;
        data->owner = std::this_thread::get_id();
        if (parent_data != nullptr && (style & WS_CHILD) != 0) {
            parent_data->children.push_back(hwnd);
        }
        SharedState().windows.emplace(hwnd, std::move(data));
    }
    if (SendMessage(hwnd, WM_CREATE, 0, create_param) == -1) {
        DestroyWindow(hwnd);
        return 0;
    }
    if ((style & WS_VISIBLE) != 0 && IsWindow(hwnd)) {
        ShowWindow(hwnd, SW_SHOW);
    }
    return hwnd;
}

bool DestroyWindow(HWND hwnd) {
    std::vector<HWND> tree;
    const bool marked = with_window(hwnd, false, [&](WindowData& w) {
        if (w.destroying) {
            return false;
        }
        collect_tree(hwnd, tree);
        for (HWND h : tree) {
            FindWindowData(h)->destroying = true;
        }
        return true;
    });
    if (!marked) {
        return false;
    }
    ShowWindow(hwnd, SW_HIDE);
    HWND focus = GetFocus();
    if (focus != 0 && contains(hwnd, focus)) {
        SetFocus(0);
    }
    // Parents hear of their end before their children, as the children still exist then.
    for (HWND h : tree) {
        if (IsWindow(h)) {
            SendMessage(h, WM_DESTROY, 0, 0);
        }
    }
    {
        std::lock_guard lock(SharedState().mutex);
        if (WindowData* w = FindWindowData(hwnd)) {
            if (WindowData* parent = FindWindowData(w->parent)) {
                auto& siblings = parent->children;
                siblings.erase(std::remove(siblings.begin(), siblings.end(), hwnd), siblings.end());
            }
        }
        for (HWND h : tree) {
            SharedState().windows.erase(h);
            if (SharedState().active == h) {
                SharedState().active = 0;
            }
            if (SharedState().focus == h) {
                SharedState().focus = 0;
            }
        }
    }
    for (HWND h : tree) {
        CurrentDisplay().window_destroyed(h);
    }
    return true;
}

bool IsWindow(HWND hwnd) {
    return with_window(hwnd, false, [](WindowData&) { return true; });
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (proc == nullptr) {
        return DefWindowProc(hwnd, msg, wparam, lparam);
    }
    return proc(hwnd, msg, wparam, lparam);
}

WNDPROC GetWindowProc(HWND hwnd) {
    return with_window(hwnd, WNDPROC{nullptr}, [](WindowData& w) { return w.proc; });
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
    return with_window(hwnd, WNDPROC{nullptr}, [proc](WindowData& w) -> WNDPROC {
        return proc != nullptr ? std::exchange(w.proc, proc) : nullptr;
    });
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    return with_window(hwnd, LONG_PTR{0}, [index](WindowData& w) -> LONG_PTR {
        switch (index) {
            case GWLP_ID:
                return w.id;
            case GWL_STYLE:
                return static_cast<LONG_PTR>(w.style | (w.visible ? WS_VISIBLE : 0) |
                                             (w.enabled ? 0 : WS_DISABLED));
            case GWL_EXSTYLE:
                return w.ex_style;
            case GWLP_USERDATA:
                return w.user_data;
            case DWLP_MSGRESULT:
                return w.msg_result;
            default:
                return 0;
        }
    });
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    return with_window(hwnd, LONG_PTR{0}, [index, value](WindowData& w) -> LONG_PTR {
        switch (index) {
            case GWLP_ID:
                return std::exchange(w.id, static_cast<int>(value));
            case GWL_STYLE: {
                LONG_PTR old = static_cast<LONG_PTR>(w.style);
                w.style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_DISABLED);
                return old;
            }
            case GWL_EXSTYLE:
                return static_cast<LONG_PTR>(std::exchange(w.ex_style, static_cast<DWORD>(value)));
            case GWLP_USERDATA:
                return std::exchange(w.user_data, value);
            case DWLP_MSGRESULT:
                return std::exchange(w.msg_result, value);
            default:
                return 0;
        }
    });
}

std::string GetClassName(HWND hwnd) {
    return with_window(hwnd, std::string(), [](WindowData& w) { return w.class_name; });
}

HWND GetParent(HWND hwnd) {
    return with_window(hwnd, HWND{0}, [](WindowData& w) { return w.parent; });
}

HWND GetAncestorRoot(HWND hwnd) {
    return with_window(hwnd, HWND{0}, [](WindowData& w) {
        WindowData* root = &w;
        while (is_child(*root)) {
            WindowData* parent = FindWindowData(root->parent);
            if (parent == nullptr) {
                break;
            }
            root = parent;
        }
        return root->handle;
    });
}

std::vector<HWND> GetChildren(HWND hwnd) {
    return with_window(hwnd, std::vector<HWND>{}, [](WindowData& w) { return w.children; });
}

HWND GetDlgItem(HWND dialog, int id) {
    return with_window(dialog, HWND{0}, [id](WindowData& w) -> HWND {
        for (HWND child : w.children) {
            WindowData* c = FindWindowData(child);
            if (c != nullptr && c->id == id) {
                return child;
            }
        }
        return 0;
    });
}

int GetDlgCtrlID(HWND hwnd) {
    return static_cast<int>(GetWindowLongPtr(hwnd, GWLP_ID));
}

std::vector<HWND> GetTopLevelWindows() {
    std::lock_guard lock(SharedState().mutex);
    std::vector<HWND> result;
    for (const auto& [handle, w] : SharedState().windows) {
        if (!is_child(*w)) {
            result.push_back(handle);
        }
    }
    return result;
}

bool SetWindowText(HWND hwnd, std::string_view text) {
    std::string copy(text);
    return SendMessage(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(copy.c_str())) != 0;
}

std::string GetWindowText(HWND hwnd) {
    LRESULT length = SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0);
    if (length <= 0) {
        return {};
    }
    std::string buffer(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT copied =
        SendMessage(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
    buffer.resize(static_cast<std::size_t>(std::clamp<LRESULT>(copied, 0, length)));
    return buffer;
}

int GetWindowTextLength(HWND hwnd) {
    return static_cast<int>(SendMessage(hwnd, WM_GETTEXTLENGTH, 0, 0));
}

std::string GetStoredWindowText(HWND hwnd) {
    return with_window(hwnd, std::string(), [](WindowData& w) { return w.text; });
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
    return with_window(hwnd, false, [rect](WindowData& w) {
        if (rect == nullptr) {
            return false;
        }
        *rect = w.rect;
        if (is_child(w)) {
            if (WindowData* parent = FindWindowData(w.parent)) {
                POINT base = client_origin(*parent);
                rect->left += base.x;
                rect->right += base.x;
                rect->top += base.y;
                rect->bottom += base.y;
            }
        }
        return true;
    });
}

bool GetClientRect(HWND hwnd, RECT* rect) {
    return with_window(hwnd, false, [rect](WindowData& w) {
        if (rect == nullptr) {
            return false;
        }
        RECT insets = client_insets(w);
        *rect = {0, 0, std::max(0, w.rect.width() - insets.left - insets.right),
                 std::max(0, w.rect.height() - insets.top - insets.bottom)};
        return true;
    });
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    RECT client{};
    POINT origin{};
    const bool moved = with_window(hwnd, false, [&](WindowData& w) {
        w.rect = {x, y, x + width, y + height};
        RECT insets = client_insets(w);
        client = {0, 0, std::max(0, width - insets.left - insets.right),
                  std::max(0, height - insets.top - insets.bottom)};
        origin = {x + insets.left, y + insets.top};
        if (repaint) {
            invalidate_tree(hwnd);
            if (WindowData* parent = FindWindowData(w.parent)) {
                parent->needs_paint = true;
            }
        }
        return true;
    });
    if (!moved) {
        return false;
    }
    SendMessage(hwnd, WM_MOVE, 0, MAKELPARAM(origin.x, origin.y));
    SendMessage(hwnd, WM_SIZE, 0, MAKELPARAM(client.right, client.bottom));
    CurrentDisplay().window_changed(hwnd);
    return true;
}

RECT AdjustWindowRect(RECT client, DWORD style, bool is_child_window) {
    WindowData probe;
    probe.style = style | (is_child_window ? WS_CHILD : 0);
    RECT insets = client_insets(probe);
    return {client.left - insets.left, client.top - insets.top, client.right + insets.right,
            client.bottom + insets.bottom};
}

namespace {
// Adds the screen position of the client origin of `hwnd`, times `sign`, to *point.
bool shift_by_client_origin(HWND hwnd, POINT* point, int sign) {
    return with_window(hwnd, false, [point, sign](WindowData& w) {
        if (point == nullptr) {
            return false;
        }
        POINT origin = client_origin(w);
        point->x += sign * origin.x;
        point->y += sign * origin.y;
        return true;
    });
}
}  // namespace

bool ClientToScreen(HWND hwnd, POINT* point) {
    return shift_by_client_origin(hwnd, point, 1);
}

bool ScreenToClient(HWND hwnd, POINT* point) {
    return shift_by_client_origin(hwnd, point, -1);
}

bool ShowWindow(HWND hwnd, int command) {
    bool was_visible = false;
    bool show = command != SW_HIDE;
    bool activate = false;
    // Empty when there is no such window; false when it already was as asked.
    const std::optional<bool> changed =
        with_window(hwnd, std::optional<bool>(), [&](WindowData& w) {
            was_visible = w.visible;
            if (was_visible == show) {
                return false;
            }
            w.visible = show;
            if (show) {
                invalidate_tree(hwnd);
                activate = !is_child(w) && w.enabled;
            } else {
                if (WindowData* parent = FindWindowData(w.parent)) {
                    parent->needs_paint = true;
                }
            }
            return true;
        });
    if (!changed) {
        return false;
    }
    if (!*changed) {
        return was_visible;
    }
    SendMessage(hwnd, WM_SHOWWINDOW, show ? 1 : 0, 0);
    if (show) {
        if (activate) {
            SetActiveWindow(hwnd);
        }
        CurrentDisplay().window_shown(hwnd);
    } else {
        CurrentDisplay().window_hidden(hwnd);
        std::lock_guard lock(SharedState().mutex);
        if (SharedState().active == hwnd) {
            SharedState().active = 0;
        }
    }
    return was_visible;
}

bool IsWindowVisible(HWND hwnd) {
    return with_window(hwnd, false, [](WindowData& w) {
        for (WindowData* up = &w; up != nullptr; up = FindWindowData(up->parent)) {
            if (!up->visible) {
                return false;
            }
            if (!is_child(*up)) {
                return true;
            }
        }
        return false;
    });
}

bool EnableWindow(HWND hwnd, bool enable) {
    bool was_disabled = false;
    // Empty when there is no such window; false when it already was as asked.
    const std::optional<bool> changed =
        with_window(hwnd, std::optional<bool>(), [&](WindowData& w) {
            was_disabled = !w.enabled;
            if (w.enabled == enable) {
                return false;
            }
            w.enabled = enable;
            return true;
        });
    if (!changed) {
        return false;
    }
    if (!*changed) {
        return was_disabled;
    }
    if (!enable) {
        HWND focus = GetFocus();
        if (focus != 0 && contains(hwnd, focus)) {
            SetFocus(0);
        }
    }
    SendMessage(hwnd, WM_ENABLE, enable ? 1 : 0, 0);
    CurrentDisplay().window_changed(hwnd);
    return was_disabled;
}

bool IsWindowEnabled(HWND hwnd) {
    return with_window(hwnd, false, [](WindowData& w) { return w.enabled; });
}

HWND SetFocus(HWND hwnd) {
    HWND old = 0;
    {
        std::lock_guard lock(SharedState().mutex);
        if (hwnd != 0 && FindWindowData(hwnd) == nullptr) {
            return 0;
        }
        old = SharedState().focus;
        if (old == hwnd) {
            return old;
        }
        SharedState().focus = hwnd;
    }
    if (old != 0 && IsWindow(old)) {
        SendMessage(old, WM_KILLFOCUS, hwnd, 0);
        CurrentDisplay().window_changed(old);
    }
    if (hwnd != 0 && IsWindow(hwnd)) {
        SendMessage(hwnd, WM_SETFOCUS, old, 0);
        CurrentDisplay().window_changed(hwnd);
    }
    return old;
}

HWND GetFocus() {
    std::lock_guard lock(SharedState().mutex);
    return SharedState().focus;
}

HWND SetActiveWindow(HWND hwnd) {
    HWND old = 0;
    {
        std::lock_guard lock(SharedState().mutex);
        if (hwnd != 0 && FindWindowData(hwnd) == nullptr) {
            return 0;
        }
        old = std::exchange(SharedState().active, hwnd);
    }
    if (old != hwnd) {
        if (old != 0 && IsWindow(old)) {
            SendMessage(old, WM_ACTIVATE, 0, static_cast<LPARAM>(hwnd));
        }
        if (hwnd != 0) {
            SendMessage(hwnd, WM_ACTIVATE, 1, static_cast<LPARAM>(old));
        }
    }
    return old;
}

HWND GetActiveWindow() {
    std::lock_guard lock(SharedState().mutex);
    return SharedState().active;
}

bool InvalidateRect(HWND hwnd, bool erase) {
    const bool marked = with_window(hwnd, false, [erase](WindowData& w) {
        w.needs_paint = true;
        w.erase = w.erase || erase;
        detail::WakeQueue(detail::QueueOf(w.owner));
        return true;
    });
    if (!marked) {
        return false;
    }
    CurrentDisplay().window_changed(hwnd);
    return true;
}

bool ValidateRect(HWND hwnd) {
    return with_window(hwnd, false, [](WindowData& w) {
        w.needs_paint = false;
        w.erase = false;
        return true;
    });
}

bool NeedsPaint(HWND hwnd) {
    return with_window(hwnd, false, [](WindowData& w) { return w.needs_paint; });
}

bool UpdateWindow(HWND hwnd) {
    if (!NeedsPaint(hwnd) || !IsWindowVisible(hwnd)) {
        return IsWindow(hwnd);
    }
    SendMessage(hwnd, WM_PAINT, 0, 0);
    return true;
}

bool BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    bool erase = false;
    RECT client{};
    const bool found = with_window(hwnd, false, [&erase](WindowData& w) {
        erase = w.erase;
        w.needs_paint = false;
        w.erase = false;
        return true;
    });
    if (!found) {
        return false;
    }
    GetClientRect(hwnd, &client);
    if (erase) {
        SendMessage(hwnd, WM_ERASEBKGND, 0, 0);
    }
    if (ps != nullptr) {
        ps->erase = erase;
        ps->paint = client;
    }
    return true;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT*) {
    CurrentDisplay().window_changed(hwnd);
    return IsWindow(hwnd);
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_SETTEXT: {
            const bool stored = with_window(hwnd, false, [lparam](WindowData& w) {
                const char* text = reinterpret_cast<const char*>(lparam);
                w.text = text != nullptr ? text : "";
                return true;
            });
            if (!stored) {
                return 0;
            }
            CurrentDisplay().window_changed(hwnd);
            return 1;
        }
        case WM_GETTEXT:
            return with_window(hwnd, LRESULT{0}, [wparam, lparam](WindowData& w) {
                return detail::AnswerGetText(w.text, wparam, lparam);
            });
        case WM_GETTEXTLENGTH:
            return with_window(hwnd, LRESULT{0},
                               [](WindowData& w) { return static_cast<LRESULT>(w.text.size()); });
        case WM_SETFONT:
            with_window(hwnd, false, [wparam](WindowData& w) {
                w.font = static_cast<HFONT>(wparam);
                return true;
            });
            return 0;
        case WM_GETFONT:
            return with_window(hwnd, LRESULT{0},
                               [](WindowData& w) { return static_cast<LRESULT>(w.font); });
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_QUERYENDSESSION:
            return 1;
        case WM_SYSKEYDOWN:
            // Alt+F4 asks the top-level window to close through its system command.
            if (static_cast<int>(wparam) == VK_F4 && (lparam & KF_ALTDOWN_LPARAM) != 0) {
                PostMessage(GetAncestorRoot(hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
            }
            return 0;
        case WM_SYSCOMMAND:
            if ((wparam & 0xFFF0) == SC_CLOSE) {
                SendMessage(hwnd, WM_CLOSE, 0, 0);
            }
            return 0;
        default:
            return 0;
    }
}

}  // namespace platform
