#include "ui/multi_get.h"

#include "platform/message_queue.h"
#include "platform/window.h"
#include "ui/dialog.h"
#include "ui/gdi.h"

namespace kadro {

using platform::HWND;
using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

void TMultiGet::Construct(const TMultiGetArgs& args) {
    nTop = args.nRow.value_or(0);
    nLeft = args.nCol.value_or(0);
    nBottom = nTop + args.nHeight.value_or(80) - 1;
    nRight = nLeft + args.nWidth.value_or(200) - 1;

    bSetGet = args.bSetGet;
    oWnd = args.oWnd != nullptr ? args.oWnd : GETWNDDEFAULT().get();
    if (args.oFont) {
        oFont = args.oFont;
        ++oFont->nCount;
    }
    cMsg = args.cMsg;
    lUpdate = args.lUpdate.value_or(false);
    bWhen = args.bWhen;
    lReadOnly = args.lReadOnly.value_or(false);
    bValid = args.bValid;
    bChange = args.bChange;

    nStyle = platform::WS_CHILD | platform::WS_VISIBLE | platform::ES_WANTRETURN |
             platform::ES_MULTILINE | platform::WS_TABSTOP;
    if (args.lHScroll.value_or(false)) {
        nStyle |= platform::WS_HSCROLL;
    }
    if (args.lCenter.value_or(false)) {
        nStyle |= platform::ES_CENTER;
    }
    if (args.lRight.value_or(false)) {
        nStyle |= platform::ES_RIGHT;
    }
    if (lReadOnly) {
        nStyle |= platform::ES_READONLY;
    }
    if (!args.lNoBorder.value_or(false)) {
        nStyle |= platform::WS_BORDER;
    }
    if (!args.lNoVScroll.value_or(false)) {
        nStyle |= platform::WS_VSCROLL;
    }

    nExStyle = platform::WS_EX_CLIENTEDGE;
    nId = GetNewId();
    lDelete = false;
    nLen = 0;
    nClrText = args.nClrFore.value_or(GetSysColor(COLOR_WINDOWTEXT));
    nClrPane = args.nClrBack.value_or(GetSysColor(COLOR_WINDOW));
    oBrush = TBrush::New(nClrPane);

    if (oWnd == nullptr) {
        return;
    }
    auto self = std::static_pointer_cast<TControl>(shared_from_this());
    if (oWnd->window() == 0) {
        if (auto* dialog = dynamic_cast<TDialog*>(oWnd)) {
            dialog->DefControl(self);
        } else {
            oWnd->aControls.push_back(self);
            hWnd = 0;
        }
        return;
    }
    HWND created =
        platform::CreateWindowEx(nExStyle, "EDIT", "", nStyle, nLeft, nTop, nRight - nLeft + 1,
                                 nBottom - nTop + 1, oWnd->window(), *nId);
    if (created != 0) {
        oWnd->aControls.push_back(self);
        Initiate(oWnd->window());
    }
}

std::string TMultiGet::cToChar() {
    return ItemTemplate("EDIT");
}

bool TMultiGet::Initiate(HWND hDlg) {
    if (!TControl::Initiate(hDlg)) {
        return false;
    }
    platform::SendMessage(window(), platform::EM_LIMITTEXT, static_cast<WPARAM>(nLen), 0);
    platform::SetWindowText(window(), VarGet().value_or(""));
    return true;
}

void TMultiGet::Refresh() {
    platform::SetWindowText(window(), VarGet().value_or(""));
}

void TMultiGet::GoBottom() {
    auto n = static_cast<WPARAM>(VarGet().value_or("").size() + 1);
    platform::SendMessage(window(), platform::EM_SETSEL, n, static_cast<LPARAM>(n));
    platform::LRESULT lines = platform::SendMessage(window(), platform::EM_GETLINECOUNT, 0, 0);
    platform::SendMessage(window(), platform::EM_LINESCROLL, 0, lines);
}

int TMultiGet::GetPos() {
    auto selection =
        static_cast<std::uintptr_t>(platform::SendMessage(window(), platform::EM_GETSEL, 0, 0));
    return platform::LOWORD(selection);
}

platform::LRESULT TMultiGet::pass_on(UINT msg, WPARAM wparam, LPARAM lparam) {
    if (nOldProc != nullptr) {
        return platform::CallWindowProc(nOldProc, window(), msg, wparam, lparam);
    }
    return platform::DefWindowProc(window(), msg, wparam, lparam);
}

void TMultiGet::changed() {
    if (bChange) {
        bChange();
    }
}

EventResult TMultiGet::HandleEvent(UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
    if (nMsg == platform::WM_CUT || nMsg == platform::WM_PASTE || nMsg == platform::WM_CLEAR) {
        if (lReadOnly) {
            return Answer(0);
        }
        pass_on(nMsg, nWParam, nLParam);
        changed();
        return Answer(0);
    }
    return TControl::HandleEvent(nMsg, nWParam, nLParam);
}

EventResult TMultiGet::KeyDown(int nKey, LPARAM nFlags) {
    if (nKey == platform::VK_DELETE) {
        if (lDelete || !lReadOnly) {
            pass_on(platform::WM_KEYDOWN, static_cast<WPARAM>(nKey), nFlags);
            changed();
        }
        return Answer(0);
    }
    return TControl::KeyDown(nKey, nFlags);
}

EventResult TMultiGet::KeyChar(int nKey, LPARAM nFlags) {
    bool control_held = (platform::GetKeyState(platform::VK_CONTROL) & 0x8000) != 0;
    if (nKey < 32 && control_held) {
        if (nKey == 3 || nKey == 22 || nKey == 24 || nKey == 26) {
            pass_on(platform::WM_CHAR, static_cast<WPARAM>(nKey), nFlags);
            if (nKey != 3) {
                changed();
            }
        }
        return Answer(0);
    }
    if (lReadOnly || nKey == platform::VK_TAB || nKey == platform::VK_ESCAPE) {
        return Answer(0);
    }
    pass_on(platform::WM_CHAR, static_cast<WPARAM>(nKey), nFlags);
    changed();
    return Answer(0);
}

EventResult TMultiGet::GotFocus(HWND hWndOld) {
    if (lReadOnly) {
        auto pos = static_cast<WPARAM>(GetPos());
        platform::PostMessage(window(), platform::EM_SETSEL, pos, static_cast<LPARAM>(pos));
    } else if ((platform::GetKeyState(platform::VK_TAB) & 0x8000) != 0) {
        platform::PostMessage(window(), platform::EM_SETSEL, 0, -1);
    }
    return TControl::GotFocus(hWndOld);
}

EventResult TMultiGet::LostFocus(HWND hWndNew) {
    VarPut(GetText());
    return TControl::LostFocus(hWndNew);
}

EventResult TMultiGet::LButtonDown(int nRow, int nCol, WPARAM nFlags, bool lTouch) {
    auto pos = static_cast<std::uintptr_t>(platform::SendMessage(
        window(), platform::EM_CHARFROMPOS, 0, platform::MAKELPARAM(nCol, nRow)));
    WPARAM caret = platform::LOWORD(pos);
    platform::PostMessage(window(), platform::EM_SETSEL, caret, static_cast<LPARAM>(caret));
    return TControl::LButtonDown(nRow, nCol, nFlags, lTouch);
}

EventResult TMultiGet::VScroll(WPARAM, LPARAM) {
    return {};
}

}  // namespace kadro
