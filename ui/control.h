#pragma once
// TControl: the base class of the controls a dialog holds, with the shared identifier counter
// and the item entry of the in-memory dialog template.
//
// A control created before its parent has a window is registered with the parent (DefControl)
// and attached to the platform child of the same identifier during the parent's initialisation
// (Initiate): linked and subclassed, given the parent's font. When no child has that
// identifier, Initiate raises "Non defined Id" (see runtime_error.h) and leaves the control
// without a window.
//
// The binding callback bSetGet is called with nothing to read the bound value and with a value
// to store it; it returns the (new) value.
//
// Interface thread only.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "ui/window.h"

namespace kadro {

using SetGetBlock = std::function<std::string(std::optional<std::string>)>;

// The window layer's own messages to its controls.
inline constexpr platform::UINT kControlClick = 0x0800;      // carry out a click: Click
inline constexpr platform::UINT kControlChange = 0x0805;     // the shown value changed: Change
inline constexpr platform::UINT kControlColors = 0x0806;     // wParam a device context: Colors
inline constexpr platform::UINT kControlLostFocus = 0x0809;  // the focus has moved on

class TControl : public TWindow {
  public:
    // Class-level identifier counter, unset until the first GetNewId.
    static inline std::optional<int> nInitID;
    // Next identifier, shared by all controls: 101, 102, ... up to 30000, then 100 again.
    static int GetNewId();

    // The control's entry of the dialog template.
    virtual std::string cToChar() = 0;
    // Attaches the control to its child window of the dialog hDlg; false when there is none.
    virtual bool Initiate(platform::HWND hDlg);

    // The bound value, or nil when there is no binding callback.
    std::optional<std::string> VarGet();
    std::optional<std::string> VarPut(std::string uValue);
    // Fits the control over its parent's client area: one pixel over the left, top and right
    // edges, two over the bottom one.
    void AdjClient();
    // The control's own validation: bValid's answer, true without one.
    bool lValid();

    EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM nWParam,
                            platform::LPARAM nLParam) override;
    // Escape goes to the parent's KeyDown and is swallowed; other keys as TWindow.
    EventResult KeyDown(int nKey, platform::LPARAM nFlags) override;
    // Records Enter, Tab, Up and Down in the parent's nLastKey; answers nDlgCode.
    EventResult GetDlgCode(platform::WPARAM nKey) override;
    EventResult GotFocus(platform::HWND hWndOld) override;
    EventResult LostFocus(platform::HWND hWndNew) override;
    EventResult LButtonDown(int nRow, int nCol, platform::WPARAM nFlags, bool lTouch) override;
    virtual EventResult KillFocus(platform::HWND hWndNew);
    // Answers the brush of the pane colour.
    virtual EventResult Colors(platform::WPARAM hDC);
    virtual EventResult Click();
    virtual EventResult Change();
    virtual EventResult SysKeyDown(platform::WPARAM nKey, platform::LPARAM nFlags);

    SetGetBlock bSetGet;
    std::function<void()> bChange;
    bool lUpdate = false;
    std::optional<platform::LRESULT> nDlgCode;
    int nClientBevel = 0;
    bool lTransparent = false;
    bool lActive = true;
    bool lDrag = false;
    bool lCaptured = false;
    bool lFocused = false;
    bool lCancel = false;
    std::optional<std::string> cMsg;
    // Where the last left click landed, in client coordinates.
    platform::POINT aLastClick{};

  protected:
    // The template entry of this control under the given window class.
    std::string ItemTemplate(std::string_view cClass) const;
};

}  // namespace kadro
