#include "ui/control.h"

#include <cstring>

#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "ui/dialog.h"
#include "ui/gdi.h"
#include "ui/runtime_error.h"
#include "ui/template_bytes.h"

namespace kadro {

using platform::HWND;
using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

int TControl::GetNewId() {
    if (!nInitID) {
        nInitID = 100;
    }
    if (*nInitID < 30000) {
        ++*nInitID;
    } else {
        nInitID = 100;
    }
    return *nInitID;
}

std::string TControl::ItemTemplate(std::string_view cClass) const {
    long units = platform::GetDialogBaseUnits();
    int bx = platform::LOWORD(static_cast<std::uintptr_t>(units));
    int by = platform::HIWORD(static_cast<std::uintptr_t>(units));
    const auto* dialog = dynamic_cast<const TDialog*>(oWnd);
    int k = (dialog != nullptr && dialog->lTruePixel) ? 1 : 2;
    int y = k * 8 * nTop / by;
    int x = k * 4 * nLeft / bx;
    int bottom = k * 8 * nBottom / by;
    int right = k * 4 * nRight / bx;
    platform::DWORD style =
        nStyle != 0 ? nStyle : (platform::WS_CHILD | platform::WS_VISIBLE | platform::WS_TABSTOP);

    std::string item;
    PutDword(item, style);
    PutDword(item, 0);  // the extended style is applied by nobody: the template carries none
    PutWord(item, static_cast<std::uint16_t>(x));
    PutWord(item, static_cast<std::uint16_t>(y));
    PutWord(item, static_cast<std::uint16_t>(right - x + 1));
    PutWord(item, static_cast<std::uint16_t>(bottom - y + 1));
    PutWord(item, static_cast<std::uint16_t>(nId.value_or(0)));
    PutOemText(item, cClass);
    PutWord(item, 0);  // empty title
    PutWord(item, 0);  // no creation data
    while (item.size() % 4 != 0) {
        item.push_back('\0');
    }
    return item;
}

bool TControl::Initiate(HWND hDlg) {
    lDrag = false;
    lCaptured = false;
    lFocused = false;
    lCancel = false;
    lTransparent = false;
    HWND h = platform::GetDlgItem(hDlg, nId.value_or(0));
    if (h == 0) {
        RaiseRuntimeError(
            MakeWindowLayerError(WindowLayerError::NonDefinedId, IdOperationText(nId.value_or(0))));
        return false;
    }
    hWnd = h;
    platform::EnableWindow(h, lActive);
    Link(LinkKind::Subclass);
    if (!oFont && oWnd != nullptr && oWnd->oFont) {
        oFont = oWnd->oFont;
        ++oFont->nCount;
    }
    if (oFont) {
        platform::SendMessage(h, platform::WM_SETFONT, oFont->hFont, 0);
    }
    return true;
}

std::optional<std::string> TControl::VarGet() {
    if (!bSetGet) {
        return std::nullopt;
    }
    return bSetGet(std::nullopt);
}

std::optional<std::string> TControl::VarPut(std::string uValue) {
    if (!bSetGet) {
        return std::nullopt;
    }
    return bSetGet(std::move(uValue));
}

void TControl::AdjClient() {
    if (oWnd == nullptr || oWnd->window() == 0 || window() == 0) {
        return;
    }
    platform::RECT client;
    platform::GetClientRect(oWnd->window(), &client);
    platform::MoveWindow(window(), -1, -1, client.width() + 2, client.height() + 3, true);
}

bool TControl::lValid() {
    return bValid ? bValid(*this) : true;
}

EventResult TControl::HandleEvent(UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
    auto lo = [](LPARAM l) {
        return static_cast<int>(platform::LOWORD(static_cast<std::uintptr_t>(l)));
    };
    auto hi = [](LPARAM l) {
        return static_cast<int>(platform::HIWORD(static_cast<std::uintptr_t>(l)));
    };
    switch (nMsg) {
        case platform::WM_HELP:
            return {};
        case kControlClick:
            return Click();
        case platform::WM_KEYUP:
            return {};
        case platform::WM_KILLFOCUS:
            return KillFocus(static_cast<HWND>(nWParam));
        case platform::WM_PAINT:
            // The control's own procedure paints.
            return {};
        case kControlChange:
            return Change();
        case kControlColors:
            return Colors(nWParam);
        case kControlLostFocus:
            return {};
        case platform::WM_SYSCOMMAND:
        case platform::WM_SYSCHAR:
            return {};
        case platform::WM_SYSKEYDOWN:
            return SysKeyDown(nWParam, nLParam);
        case platform::WM_LBUTTONDOWN:
            return LButtonDown(hi(nLParam), lo(nLParam), nWParam, false);
        case platform::WM_LBUTTONUP:
            return LButtonUp(hi(nLParam), lo(nLParam), nWParam);
        default:
            return TWindow::HandleEvent(nMsg, nWParam, nLParam);
    }
}

EventResult TControl::KeyDown(int nKey, LPARAM nFlags) {
    if (nKey == platform::VK_ESCAPE) {
        if (oWnd != nullptr) {
            oWnd->KeyDown(nKey, nFlags);
        }
        return Answer(0);
    }
    return TWindow::KeyDown(nKey, nFlags);
}

EventResult TControl::GetDlgCode(WPARAM nKey) {
    if (oWnd != nullptr && !oWnd->lValidating &&
        (nKey == platform::VK_RETURN || nKey == platform::VK_TAB || nKey == platform::VK_UP ||
         nKey == platform::VK_DOWN)) {
        oWnd->nLastKey = static_cast<int>(nKey);
    }
    if (nDlgCode) {
        return Answer(*nDlgCode);
    }
    return {};
}

EventResult TControl::GotFocus(HWND) {
    lFocused = true;
    if (oWnd != nullptr) {
        oWnd->nResult = this;
        oWnd->oCtlFocus = this;
        oWnd->hCtlFocus = window();
    }
    return {};
}

EventResult TControl::LostFocus(HWND) {
    lFocused = false;
    return {};
}

EventResult TControl::KillFocus(HWND hWndNew) {
    return LostFocus(hWndNew);
}

EventResult TControl::LButtonDown(int nRow, int nCol, WPARAM, bool) {
    if (oWnd != nullptr) {
        oWnd->nLastKey = 1002;
    }
    aLastClick = {nCol, nRow};
    return {};
}

EventResult TControl::Colors(WPARAM) {
    if (oBrush && oBrush->hBrush != 0) {
        return Answer(static_cast<platform::LRESULT>(oBrush->hBrush));
    }
    return {};
}

EventResult TControl::Click() {
    return {};
}
EventResult TControl::Change() {
    return {};
}
EventResult TControl::SysKeyDown(WPARAM, LPARAM) {
    return {};
}

}  // namespace kadro
