#include "ui/window.h"

#include <algorithm>

#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "ui/control.h"
#include "ui/gdi.h"
#include "ui/window_layer_state.h"

namespace kadro {

using platform::HWND;
using platform::LPARAM;
using platform::LRESULT;
using platform::UINT;
using platform::WPARAM;

namespace {

// Linked-window table; a free slot holds nullptr and is reused first.
std::vector<TWindow*>& linked_table() {
    static std::vector<TWindow*> table;
    return table;
}

std::weak_ptr<TWindow>& default_window() {
    static std::weak_ptr<TWindow> window;
    return window;
}

int hi_word(LPARAM l) {
    return platform::HIWORD(static_cast<std::uintptr_t>(l));
}
int lo_word(LPARAM l) {
    return platform::LOWORD(static_cast<std::uintptr_t>(l));
}

}  // namespace

std::optional<std::intptr_t> ResultNumber(const DialogResult& r) {
    if (const auto* number = std::get_if<std::intptr_t>(&r)) {
        return *number;
    }
    return std::nullopt;
}

TWindow::TWindow() = default;

TWindow::~TWindow() {
    // An object that dies while its window lives must not leave the window calling into it.
    auto& table = linked_table();
    for (auto& slot : table) {
        if (slot == this) {
            if (nOldProc != nullptr && platform::IsWindow(window())) {
                RESTPROC(window(), nOldProc);
            }
            slot = nullptr;
        }
    }
    for (const auto& control : aControls) {
        if (control && control->oWnd == this) {
            control->oWnd = nullptr;
        }
    }
}

EventResult TWindow::HandleEvent(UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
    switch (nMsg) {
        case platform::WM_DESTROY:
            return Destroy();
        case platform::WM_SIZE:
            return ReSize(nWParam, lo_word(nLParam), hi_word(nLParam));
        case platform::WM_SETFOCUS:
            return GotFocus(static_cast<HWND>(nWParam));
        case platform::WM_KILLFOCUS:
            return LostFocus(static_cast<HWND>(nWParam));
        case platform::WM_PAINT: {
            platform::PAINTSTRUCT ps;
            platform::BeginPaint(window(), &ps);
            Paint();
            platform::EndPaint(window(), &ps);
            return Answer(0);
        }
        case platform::WM_CLOSE:
            return Close(nWParam);
        case platform::WM_QUERYENDSESSION:
            return QueryEndSession();
        case platform::WM_ERASEBKGND:
            return EraseBkGnd(nWParam);
        case platform::WM_COMMNOTIFY:
            return CommNotify(nWParam, nLParam);
        case platform::WM_GETDLGCODE:
            return GetDlgCode(nWParam);
        case platform::WM_KEYDOWN:
            return KeyDown(static_cast<int>(nWParam), nLParam);
        case platform::WM_CHAR:
            return KeyChar(static_cast<int>(nWParam), nLParam);
        case platform::WM_COMMAND:
            return Command(nWParam, nLParam);
        case platform::WM_SYSCOMMAND:
            return SysCommand(nWParam, nLParam);
        case platform::WM_VSCROLL:
            return VScroll(nWParam, nLParam);
        case platform::WM_CTLCOLOREDIT:
        case platform::WM_CTLCOLORLISTBOX:
        case platform::WM_CTLCOLORSTATIC:
            return CtlColor(static_cast<HWND>(nLParam), nWParam);
        case platform::WM_LBUTTONDOWN:
            return LButtonDown(hi_word(nLParam), lo_word(nLParam), nWParam, false);
        case platform::WM_LBUTTONUP:
            return LButtonUp(hi_word(nLParam), lo_word(nLParam), nWParam);
        case platform::WM_MOUSEMOVE:
            return MouseMove(hi_word(nLParam), lo_word(nLParam), nWParam);
        default:
            return {};
    }
}

EventResult TWindow::Destroy() {
    if (oBrush) {
        oBrush->End();
    }
    if (oFont) {
        oFont->End();
        oFont = nullptr;
    }
    HWND h = window();
    if (h != 0) {
        UnLink();
        if (h == WindowLayer().main_window) {
            platform::PostQuitMessage(0);
        }
    }
    if (default_window().lock().get() == this) {
        default_window().reset();
    }
    hWnd = 0;
    return {};
}

EventResult TWindow::ReSize(WPARAM, int, int) {
    CoorsUpdate();
    if (oClient) {
        oClient->AdjClient();
    }
    return {};
}

EventResult TWindow::GotFocus(HWND) {
    return {};
}
EventResult TWindow::LostFocus(HWND) {
    return {};
}

EventResult TWindow::Paint() {
    if (bPainted) {
        bPainted();
    }
    return {};
}

EventResult TWindow::Close(WPARAM) {
    return {};
}
EventResult TWindow::QueryEndSession() {
    return {};
}
EventResult TWindow::EraseBkGnd(WPARAM) {
    return {};
}

EventResult TWindow::CommNotify(WPARAM nWParam, LPARAM nLParam) {
    if (bCommNotify) {
        return bCommNotify(nWParam, nLParam);
    }
    return {};
}

EventResult TWindow::GetDlgCode(WPARAM) {
    return {};
}

EventResult TWindow::KeyDown(int nKey, LPARAM nFlags) {
    if (nKey == platform::VK_TAB && oWnd != nullptr && oWnd->window() != 0) {
        bool previous = (platform::GetKeyState(platform::VK_SHIFT) & 0x8000) != 0;
        HWND next = platform::GetNextDlgTabItem(oWnd->window(), window(), previous);
        if (next != 0) {
            platform::SetFocus(next);
        }
        return Answer(0);
    }
    if (nKey == platform::VK_F1) {
        return Answer(0);
    }
    if (oWnd != nullptr) {
        oWnd->KeyDown(nKey, nFlags);
    }
    return {};
}

EventResult TWindow::KeyChar(int, LPARAM) {
    return {};
}
EventResult TWindow::Command(WPARAM, LPARAM) {
    return {};
}
EventResult TWindow::SysCommand(WPARAM, LPARAM) {
    return {};
}
EventResult TWindow::VScroll(WPARAM, LPARAM) {
    return {};
}
EventResult TWindow::CtlColor(HWND, WPARAM) {
    return {};
}
EventResult TWindow::LButtonDown(int, int, WPARAM, bool) {
    return {};
}
EventResult TWindow::LButtonUp(int, int, WPARAM) {
    return {};
}
EventResult TWindow::MouseMove(int, int, WPARAM) {
    return {};
}

void TWindow::Link(LinkKind kind) {
    HWND h = window();
    if (h == 0) {
        return;
    }
    auto& table = linked_table();
    auto free_slot = std::find(table.begin(), table.end(), nullptr);
    std::intptr_t position;
    if (free_slot != table.end()) {
        *free_slot = this;
        position = (free_slot - table.begin()) + 1;
    } else {
        table.push_back(this);
        position = static_cast<std::intptr_t>(table.size());
    }
    if (kind == LinkKind::Subclass) {
        nOldProc = XCHANGEPROC(h, position);
    }
}

void TWindow::UnLink() {
    auto& table = linked_table();
    for (auto& slot : table) {
        if (slot == this) {
            if (nOldProc != nullptr && window() != 0) {
                RESTPROC(window(), nOldProc);
                nOldProc = nullptr;
            }
            slot = nullptr;
        }
    }
}

void TWindow::CoorsUpdate() {
    HWND h = window();
    platform::RECT rect;
    if (h == 0 || !platform::GetWindowRect(h, &rect)) {
        return;
    }
    HWND parent = platform::GetParent(h);
    if (parent != 0 && (platform::GetWindowLongPtr(h, platform::GWL_STYLE) & platform::WS_CHILD)) {
        platform::POINT top_left{rect.left, rect.top};
        platform::POINT bottom_right{rect.right, rect.bottom};
        platform::ScreenToClient(parent, &top_left);
        platform::ScreenToClient(parent, &bottom_right);
        rect = {top_left.x, top_left.y, bottom_right.x, bottom_right.y};
    }
    nTop = rect.top;
    nLeft = rect.left;
    nBottom = rect.bottom;
    nRight = rect.right;
}

std::string TWindow::GetText() const {
    return platform::GetWindowText(window());
}

void TWindow::SetText(std::string_view cText) {
    // Copied first: cText may view cCaption itself.
    std::string text(cText);
    if (window() != 0) {
        platform::SetWindowText(window(), text);
    }
    cCaption = std::move(text);
}

LRESULT LinkedWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    std::intptr_t position = platform::GetWindowLongPtr(hwnd, platform::GWLP_USERDATA);
    TWindow* object = LinkedWindowAt(position);
    if (object == nullptr) {
        return platform::DefWindowProc(hwnd, msg, wparam, lparam);
    }
    platform::WNDPROC before = object->nOldProc;
    EventResult result = object->HandleEvent(msg, wparam, lparam);
    if (!IsNil(result)) {
        return DialogAnswer(result);
    }
    // The handler may have unlinked the window (its WM_DESTROY does) or the object may be gone:
    // the message still belongs to the procedure the window had before.
    platform::WNDPROC after = LinkedWindowAt(position) == object ? object->nOldProc : nullptr;
    platform::WNDPROC previous = after != nullptr ? after : before;
    if (previous != nullptr) {
        return platform::CallWindowProc(previous, hwnd, msg, wparam, lparam);
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

platform::WNDPROC XCHANGEPROC(HWND hWnd, std::intptr_t nIndex) {
    if (!platform::IsWindow(hWnd)) {
        return nullptr;
    }
    platform::SetWindowLongPtr(hWnd, platform::GWLP_USERDATA, nIndex);
    return platform::SetWindowProc(hWnd, &LinkedWindowProc);
}

void RESTPROC(HWND hWnd, platform::WNDPROC nOldProc) {
    platform::SetWindowProc(hWnd, nOldProc);
}

TWindow* OWNDFROMHWND(HWND hWnd) {
    for (TWindow* object : linked_table()) {
        if (object != nullptr && object->window() == hWnd) {
            return object;
        }
    }
    return nullptr;
}

TWindow* LinkedWindowAt(std::intptr_t position) {
    auto& table = linked_table();
    if (position <= 0 || position > static_cast<std::intptr_t>(table.size())) {
        return nullptr;
    }
    return table[static_cast<std::size_t>(position - 1)];
}

void SETWNDDEFAULT(const std::shared_ptr<TWindow>& oWnd) {
    default_window() = oWnd;
}

std::shared_ptr<TWindow> GETWNDDEFAULT() {
    return default_window().lock();
}

}  // namespace kadro
