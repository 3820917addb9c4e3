#pragma once
// TWindow: the base window class of the window layer, its message table, and the module state
// that ties platform windows to objects outside modal dialogs (the linked-window table).
//
// Objects are created by the application and outlive their platform windows. `hWnd` is empty
// before activation, 0 while there is no window (before creation, after destruction) and the
// platform handle in between. A parent owns its controls through `aControls`; a control's
// `oWnd` is a plain back pointer, valid while the parent lives (the parent clears it when it
// dies).
//
// Message handlers answer an EventResult: empty (nil) asks for the platform's default handling
// (or the window's previous procedure for a linked window), a number is the answer, a logical
// counts as 1 or 0.
//
// Linked windows: Link() puts the object into the first free slot of a process-wide table (or
// appends it) and, when subclassing, stores the 1-based position in the window's GWLP_USERDATA
// and installs LinkedWindowProc, keeping the previous procedure in `nOldProc`. UnLink() gives the
// previous procedure back and frees the slot; a destroyed object unlinks itself. The table and
// every handler run on the interface thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/types.h"
#include "platform/window.h"

namespace kadro {

class TControl;
class TFont;
class TBrush;

// A handler's answer: nil, a logical or a number. (Kept as a plain value rather than a variant
// so that copies are always fully initialised.)
class EventResult {
  public:
    enum class Kind { Nil, Logical, Number };

    EventResult() = default;
    EventResult(bool logical) : m_kind(Kind::Logical), m_value(logical ? 1 : 0) {}
    EventResult(int number) : m_kind(Kind::Number), m_value(number) {}
    EventResult(platform::LRESULT number) : m_kind(Kind::Number), m_value(number) {}

    Kind kind() const { return m_kind; }
    bool is_nil() const { return m_kind == Kind::Nil; }
    bool is_logical() const { return m_kind == Kind::Logical; }
    bool is_number() const { return m_kind == Kind::Number; }
    // The logical (for Kind::Logical) or the number (for Kind::Number); 0 for nil.
    platform::LRESULT value() const { return m_value; }
    friend bool operator==(const EventResult&, const EventResult&) = default;

  private:
    Kind m_kind = Kind::Nil;
    platform::LRESULT m_value = 0;
};

inline EventResult Answer(platform::LRESULT value) {
    return EventResult{value};
}
inline bool IsNil(const EventResult& r) {
    return r.is_nil();
}
// The dialog procedure's reading: a number unchanged, true 1, false and nil 0.
inline platform::LRESULT DialogAnswer(const EventResult& r) {
    return r.value();
}

// The result of a modal loop: nil, a number, or (while the window is up) the control that last
// received the focus.
using DialogResult = std::variant<std::monostate, std::intptr_t, TControl*>;
std::optional<std::intptr_t> ResultNumber(const DialogResult& r);

// What a dialog ends with when it is confirmed or cancelled (End's default is cancelled), and
// the closing reason its Cargo records: the identifiers of the confirming and the cancelling
// button.
inline constexpr std::intptr_t kDialogConfirmed = platform::IDOK;
inline constexpr std::intptr_t kDialogCancelled = platform::IDCANCEL;

// A control's own validation: false when its value must not be accepted.
using ControlCheck = std::function<bool(TControl&)>;

// The library's free slot on a window, in the two uses it has: a dialog records why it is
// closing, a control carries its own validation. The close confirmation reads both.
struct WindowCargo {
    // Set by the library's dialog buttons before they end the dialog: kDialogConfirmed or
    // kDialogCancelled (any other number counts as confirmed); empty when the dialog closes
    // any other way (close box, Escape, the program).
    std::optional<std::intptr_t> close_reason;
    // Run on the control when its dialog closes confirmed; empty when it has none.
    ControlCheck check;
};

enum class LinkKind { Subclass, TableOnly };

class TWindow : public std::enable_shared_from_this<TWindow> {
  public:
    TWindow();
    virtual ~TWindow();
    TWindow(const TWindow&) = delete;
    TWindow& operator=(const TWindow&) = delete;

    // The platform handle, 0 when there is none.
    platform::HWND window() const { return hWnd.value_or(0); }

    // Generic message switch: calls one method per message and returns its result; nil for any
    // message outside the table.
    virtual EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM nWParam,
                                    platform::LPARAM nLParam);

    virtual EventResult Destroy();
    virtual EventResult ReSize(platform::WPARAM nSizeType, int nWidth, int nHeight);
    virtual EventResult GotFocus(platform::HWND hWndOld);
    virtual EventResult LostFocus(platform::HWND hWndNew);
    virtual EventResult Paint();
    virtual EventResult Close(platform::WPARAM nResult);
    virtual EventResult QueryEndSession();
    virtual EventResult EraseBkGnd(platform::WPARAM hDC);
    // bCommNotify(nWParam, nLParam), or nil without a callback.
    virtual EventResult CommNotify(platform::WPARAM nWParam, platform::LPARAM nLParam);
    virtual EventResult GetDlgCode(platform::WPARAM nKey);
    // Tab moves to the next (Shift: previous) control of the parent and is swallowed; F1 is
    // swallowed; every other key is also offered to the parent's KeyDown and answered nil.
    virtual EventResult KeyDown(int nKey, platform::LPARAM nFlags);
    virtual EventResult KeyChar(int nKey, platform::LPARAM nFlags);
    virtual EventResult Command(platform::WPARAM nWParam, platform::LPARAM nLParam);
    virtual EventResult SysCommand(platform::WPARAM nType, platform::LPARAM nLo);
    virtual EventResult VScroll(platform::WPARAM nWParam, platform::LPARAM nLParam);
    virtual EventResult CtlColor(platform::HWND hWndChild, platform::WPARAM hDC);
    virtual EventResult LButtonDown(int nRow, int nCol, platform::WPARAM nFlags, bool lTouch);
    virtual EventResult LButtonUp(int nRow, int nCol, platform::WPARAM nFlags);
    virtual EventResult MouseMove(int nRow, int nCol, platform::WPARAM nFlags);

    // Only when the window exists; see the file comment.
    void Link(LinkKind kind = LinkKind::Subclass);
    void UnLink();
    // Reads the window rectangle back into nTop/nLeft/nBottom/nRight (screen coordinates for a
    // top-level window, parent client coordinates for a child). Unchanged without a window.
    void CoorsUpdate();
    std::string GetText() const;
    void SetText(std::string_view cText);

    std::optional<platform::HWND> hWnd;
    TWindow* oWnd = nullptr;
    std::optional<std::string> cCaption;
    int nTop = 0;
    int nLeft = 0;
    int nBottom = 0;
    int nRight = 0;
    platform::DWORD nStyle = 0;
    platform::DWORD nExStyle = 0;
    std::optional<int> nId;
    std::vector<std::shared_ptr<TControl>> aControls;
    std::shared_ptr<TControl> oClient;
    std::shared_ptr<TFont> oFont;
    std::shared_ptr<TBrush> oBrush;
    std::uint32_t nClrText = 0;
    std::uint32_t nClrPane = 0;
    std::function<EventResult(TWindow&)> bInit;
    std::function<bool(TWindow&)> bValid;
    std::function<bool(TWindow&)> bWhen;
    std::function<void()> bPainted;
    std::function<EventResult(platform::WPARAM, platform::LPARAM)> bCommNotify;
    WindowCargo Cargo;
    DialogResult nResult;
    bool lVisible = false;
    bool lValidating = false;
    int nLastKey = 0;
    std::string cVarName;
    bool lUnicode = false;
    platform::WNDPROC nOldProc = nullptr;
    // The control that has the focus, as the control reports it.
    TControl* oCtlFocus = nullptr;
    platform::HWND hCtlFocus = 0;

  protected:
    // For the New of each class: an object of class T, shared, on which Construct(args) has run.
    template <class T, class Args>
    static std::shared_ptr<T> MakeConstructed(const Args& args) {
        auto object = std::make_shared<T>();
        object->Construct(args);
        return object;
    }
};

// Window procedure installed on linked windows.
platform::LRESULT LinkedWindowProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                   platform::LPARAM lparam);
// Stores nIndex in the window's user-data slot, installs LinkedWindowProc and returns the
// previous procedure (nullptr when the window does not exist).
platform::WNDPROC XCHANGEPROC(platform::HWND hWnd, std::intptr_t nIndex);
void RESTPROC(platform::HWND hWnd, platform::WNDPROC nOldProc);
// The linked object whose window is hWnd, or nullptr.
TWindow* OWNDFROMHWND(platform::HWND hWnd);
// The object at a 1-based position of the linked-window table, nullptr for a free slot or a
// position outside it.
TWindow* LinkedWindowAt(std::intptr_t position);

// The default parent window: controls created without a parent belong to it. Held weakly.
void SETWNDDEFAULT(const std::shared_ptr<TWindow>& oWnd);
std::shared_ptr<TWindow> GETWNDDEFAULT();

}  // namespace kadro
