#pragma once
// TMultiGet: a multi-line text control bound to a string through bSetGet, used read-only as the
// program's log view.
//
// The control shows the bound string; Refresh() puts the whole string into the control again,
// GoBottom() places the caret after the last character and scrolls the view down by the line
// count. When read-only, the operator cannot change the text: typed characters, Delete, cut,
// paste and clear are swallowed before the platform control sees them; Ctrl+C, Ctrl+V, Ctrl+X
// and Ctrl+Z reach the platform control, which copies and refuses the rest. Losing the focus
// writes the control's text back into the bound string.
//
// Created before its dialog has a window, it registers with the dialog and is attached during
// the dialog's initialisation; created on a parent that has a window, it makes its platform
// control at once.
//
// Interface thread only.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/control.h"

namespace kadro {

// Arguments of New in their positional order; an empty field takes the default.
struct TMultiGetArgs {
    std::optional<int> nRow;  // 0
    std::optional<int> nCol;  // 0
    SetGetBlock bSetGet;
    TWindow* oWnd = nullptr;     // the default parent window
    std::optional<int> nWidth;   // 200
    std::optional<int> nHeight;  // 80
    std::shared_ptr<TFont> oFont;
    std::optional<bool> lHScroll;           // false
    std::optional<std::uint32_t> nClrFore;  // system window-text colour
    std::optional<std::uint32_t> nClrBack;  // system window colour
    std::optional<std::string> cMsg;
    std::optional<bool> lUpdate;  // false
    std::function<bool(TWindow&)> bWhen;
    std::optional<bool> lCenter;    // false
    std::optional<bool> lRight;     // false
    std::optional<bool> lReadOnly;  // false
    std::function<bool(TWindow&)> bValid;
    std::function<void()> bChange;
    std::optional<bool> lNoBorder;   // false
    std::optional<bool> lNoVScroll;  // false
};

class TMultiGet : public TControl {
  public:
    // Creates a control of class T (TMultiGet or derived) and runs New's construction on it.
    template <class T = TMultiGet>
    static std::shared_ptr<T> New(const TMultiGetArgs& args = {}) {
        return MakeConstructed<T>(args);
    }
    void Construct(const TMultiGetArgs& args);

    std::string cToChar() override;
    bool Initiate(platform::HWND hDlg) override;
    void Refresh();
    void GoBottom();
    // Start of the selection: the low 16 bits of the platform's answer.
    int GetPos();

    EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM nWParam,
                            platform::LPARAM nLParam) override;
    EventResult KeyDown(int nKey, platform::LPARAM nFlags) override;
    EventResult KeyChar(int nKey, platform::LPARAM nFlags) override;
    EventResult GotFocus(platform::HWND hWndOld) override;
    EventResult LostFocus(platform::HWND hWndNew) override;
    EventResult LButtonDown(int nRow, int nCol, platform::WPARAM nFlags, bool lTouch) override;
    // The platform control scrolls by itself.
    EventResult VScroll(platform::WPARAM nWParam, platform::LPARAM nLParam) override;

    bool lReadOnly = false;
    bool lDelete = false;
    int nLen = 0;

  private:
    // Hands the message to the platform control's own procedure.
    platform::LRESULT pass_on(platform::UINT msg, platform::WPARAM wparam, platform::LPARAM lparam);
    void changed();
};

}  // namespace kadro
