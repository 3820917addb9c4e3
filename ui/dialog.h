#pragma once
// TDialog: the modal dialog window built from an in-memory template, its construction, its
// activation with the init / start / valid callbacks, and the module state of modal dialogs.
//
// Life of a dialog: New (no window, hWnd empty) -> controls register with DefControl ->
// Activate builds the template (cToChar) and runs the platform's modal loop through
// DIALOGBOXINDIRECT. Inside it Initiate runs for the initialisation message, before the window
// is visible: font, controls, centring, caption, bInit. Display runs for every paint; the first
// one calls bStart once (cleared before the call). End asks bValid, ends the platform dialog
// (the window leaves the screen at once, the loop ends when control returns to it) and handles
// the waiting messages. Activate returns when the loop has ended; nResult holds the loop's
// result. When the platform cannot create the window, Activate raises "Cannot create Dialog
// Box" (see runtime_error.h) and returns after the handler with nResult -1.
//
// Only modal dialogs built from in-memory templates are provided (no resources, no modeless
// dialogs): the program uses nothing else.
//
// Modal-dialog stack: 50 slots and a top index that starts at 50. A push that finds no free slot
// stores nothing, and its pop then removes nothing. Lookup finds the dialog of a window; the
// first message for a new window binds it to the newest entry.
//
// Interface thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "ui/window.h"

namespace kadro {

class TControl;
class TFont;

// Arguments of New in their positional order; an empty field takes the default.
struct TDialogArgs {
    std::optional<int> nTop;                // 0
    std::optional<int> nLeft;               // 0
    std::optional<int> nBottom;             // 10
    std::optional<int> nRight;              // 40
    std::optional<std::string> cCaption;    // none; right-trimmed
    std::optional<bool> lVbx;               // false
    std::optional<platform::DWORD> nStyle;  // popup | caption | system menu | modal frame
    std::optional<std::uint32_t> nClrText;  // system button-text colour
    std::optional<std::uint32_t> nClrPane;  // system button-face colour
    TWindow* oWnd = nullptr;                // parent window object
    std::optional<bool> lPixels;            // false: text rows and columns
    std::shared_ptr<TFont> oFont;           // its use count goes up by 1
    std::optional<int> nHelpId;
    std::optional<int> nWidth;         // 0; not 0 means pixels, bottom := nHeight, right := nWidth
    std::optional<int> nHeight;        // 0
    std::optional<bool> lTransparent;  // false
    std::optional<std::string> cVarName;  // "oDlg"
    std::optional<bool> lUnicode;         // the program-wide character mode
    std::optional<bool> lTruePixel;       // the class-level lClsTruePixel
    std::optional<bool> lResizable;       // only shapes the default style
};

// Arguments of Activate in their positional order; an empty field takes the default.
struct TActivateArgs {
    std::function<void()> bPainted;
    std::optional<bool> lCentered;  // false
    std::function<bool(TWindow&)> bValid;
    std::function<EventResult(TWindow&)> bInit;
    std::function<bool(TWindow&)> bWhen;
    std::optional<bool> lResize16;     // false
    std::optional<bool> lCenterInWnd;  // false
};

class TDialog : public TWindow {
  public:
    static inline bool lClsTruePixel = false;

    // Creates a dialog object of class T (TDialog or a class derived from it) and runs New's
    // construction on it. The new dialog becomes the default parent window.
    template <class T = TDialog>
    static std::shared_ptr<T> New(const TDialogArgs& args = {}) {
        return MakeConstructed<T>(args);
    }
    void Construct(const TDialogArgs& args);

    // Registers a control created before the window exists; "Duplicated Id" when a registered
    // control has its identifier (the control is then not registered).
    void DefControl(const std::shared_ptr<TControl>& oCtrl);
    // The template as a byte string, coordinates relative to the owner's window rectangle.
    std::string cToChar(platform::HWND hWndOwner);

    void Activate(const TActivateArgs& args = {});
    // True when the dialog was ended, false when bValid refused (nothing changes then).
    bool End(std::intptr_t nResult = kDialogCancelled);
    void SetControl(const std::shared_ptr<TControl>& oCtrl);
    EventResult Initiate(platform::HWND hWndFocus, platform::HWND hWndDialog);
    EventResult Display();
    void Help95();

    EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM nWParam,
                            platform::LPARAM nLParam) override;
    EventResult KeyDown(int nKey, platform::LPARAM nFlags) override;
    EventResult KeyChar(int nKey, platform::LPARAM nFlags) override;
    EventResult SysCommand(platform::WPARAM nType, platform::LPARAM nLo) override;
    EventResult Close(platform::WPARAM nResult) override;
    EventResult Command(platform::WPARAM nWParam, platform::LPARAM nLParam) override;
    EventResult QueryEndSession() override;
    EventResult CtlColor(platform::HWND hWndChild, platform::WPARAM hDC) override;

    bool lTruePixel = false;
    std::string cResData;  // a ready-made template, used instead of cToChar when not empty
    bool lCentered = false;
    bool lCenterInWnd = false;
    bool lModal = true;
    bool lModify = true;
    std::function<void()> bStart;
    std::optional<bool> lHelpIcon;
    bool lResize16 = false;
    bool lTransparent = false;
    bool lVbx = false;
    std::optional<int> nHelpId;
};

// Runs the modal loop of oDialog on the template (see the file comment): 0 for an empty
// template, -1 when the platform cannot create the window, else the value given to EndDialog.
// The main-loop flag is on for the whole loop.
std::intptr_t DIALOGBOXINDIRECT(std::string_view cTemplate, platform::HWND hWndOwner,
                                TDialog& oDialog);
// Dialog procedure of every modal dialog of the layer.
std::intptr_t DialogProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                         platform::LPARAM lparam);

// Centres the window on hWndParent's window, or on the screen when hWndParent is 0 (integer
// halving toward zero); the size does not change.
void WNDCENTER(platform::HWND hWnd, platform::HWND hWndParent);

// Program-wide switches of the dialog class; each returns the previous value and leaves it
// unchanged for an empty argument.
bool SETDIALOGESC(std::optional<bool> lOnOff = std::nullopt);
bool SETCENTERONPARENT(std::optional<bool> lOnOff = std::nullopt);
// Number of Activate calls in progress.
int ActivationCount();

// The modal-dialog stack.
inline constexpr int kModalStackSlots = 50;
bool ModalStackPush(TDialog* oDialog);
void ModalStackPop();
TDialog* ModalStackLookup(platform::HWND hWnd);
int ModalStackTop();

}  // namespace kadro
