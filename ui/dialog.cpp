#include "ui/dialog.h"

#include <array>

#include "platform/dialog.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "ui/control.h"
#include "ui/gdi.h"
#include "ui/message_pump.h"
#include "ui/runtime_error.h"
#include "ui/template_bytes.h"
#include "ui/window_layer_state.h"

namespace kadro {

using platform::HWND;
using platform::LPARAM;
using platform::UINT;
using platform::WPARAM;

namespace {

struct ModalSlot {
    HWND hWnd = 0;
    TDialog* oDialog = nullptr;
};

struct ModalStack {
    std::array<ModalSlot, kModalStackSlots> slots{};
    int top = kModalStackSlots;
    int overflow = 0;  // pushes that found no slot, still waiting for their pop
};

ModalStack& modal_stack() {
    static ModalStack stack;
    return stack;
}

struct DialogClassState {
    bool escape_closes = true;
    bool center_on_parent = false;
    int activations = 0;
};

DialogClassState& dialog_class() {
    static DialogClassState state;
    return state;
}

std::string right_trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// Runs `undo` when the scope ends, however it ends.
template <class F>
class ScopeExit {
  public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ~ScopeExit() {
        if (m_active) {
            m_f();
        }
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void dismiss() { m_active = false; }

  private:
    F m_f;
    bool m_active = true;
};

}  // namespace

// ---- module state -----------------------------------------------------------------------

bool ModalStackPush(TDialog* oDialog) {
    ModalStack& s = modal_stack();
    if (s.top <= 0) {
        ++s.overflow;
        return false;
    }
    --s.top;
    s.slots[static_cast<std::size_t>(s.top)] = {0, oDialog};
    return true;
}

void ModalStackPop() {
    ModalStack& s = modal_stack();
    // The pop of a push that stored nothing must not take the entry of an enclosing dialog.
    if (s.overflow > 0) {
        --s.overflow;
        return;
    }
    if (s.top < kModalStackSlots) {
        s.slots[static_cast<std::size_t>(s.top)] = {};
        ++s.top;
    }
}

TDialog* ModalStackLookup(HWND hWnd) {
    ModalStack& s = modal_stack();
    if (s.top >= kModalStackSlots) {
        return nullptr;
    }
    for (int i = s.top; i < kModalStackSlots; ++i) {
        const ModalSlot& slot = s.slots[static_cast<std::size_t>(i)];
        if (slot.oDialog != nullptr && slot.hWnd == hWnd) {
            return slot.oDialog;
        }
    }
    ModalSlot& newest = s.slots[static_cast<std::size_t>(s.top)];
    if (newest.oDialog != nullptr && newest.hWnd == 0) {
        newest.hWnd = hWnd;
        return newest.oDialog;
    }
    return nullptr;
}

int ModalStackTop() {
    return modal_stack().top;
}

bool SETDIALOGESC(std::optional<bool> lOnOff) {
    bool previous = dialog_class().escape_closes;
    if (lOnOff) {
        dialog_class().escape_closes = *lOnOff;
    }
    return previous;
}

bool SETCENTERONPARENT(std::optional<bool> lOnOff) {
    bool previous = dialog_class().center_on_parent;
    if (lOnOff) {
        dialog_class().center_on_parent = *lOnOff;
    }
    return previous;
}

int ActivationCount() {
    return dialog_class().activations;
}

std::intptr_t DIALOGBOXINDIRECT(std::string_view cTemplate, HWND hWndOwner, TDialog& oDialog) {
    WindowLayerState& layer = WindowLayer();
    bool main_loop = layer.main_loop;
    layer.main_loop = true;
    ScopeExit restore_flag([&] { layer.main_loop = main_loop; });
    if (cTemplate.empty()) {
        return 0;
    }
    ModalStackPush(&oDialog);
    ScopeExit pop([] { ModalStackPop(); });
    return platform::DialogBoxIndirectParam(cTemplate, hWndOwner, &DialogProc, 0);
}

std::intptr_t DialogProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    TDialog* dialog = ModalStackLookup(hwnd);
    if (dialog == nullptr) {
        return 0;
    }
    LPARAM x = msg == platform::WM_INITDIALOG ? static_cast<LPARAM>(hwnd) : lparam;
    return DialogAnswer(dialog->HandleEvent(msg, wparam, x));
}

void WNDCENTER(HWND hWnd, HWND hWndParent) {
    platform::RECT area;
    if (hWndParent == 0 || !platform::GetWindowRect(hWndParent, &area)) {
        area = platform::CurrentDisplay().screen_rect();
    }
    platform::RECT rect;
    if (!platform::GetWindowRect(hWnd, &rect)) {
        return;
    }
    int width = rect.width();
    int height = rect.height();
    int left = area.left + area.width() / 2 - width / 2;
    int top = area.top + area.height() / 2 - height / 2;
    platform::MoveWindow(hWnd, left, top, width, height, true);
}

// ---- construction and template ---------------------------------------------------------

void TDialog::Construct(const TDialogArgs& args) {
    nTop = args.nTop.value_or(0);
    nLeft = args.nLeft.value_or(0);
    nBottom = args.nBottom.value_or(10);
    nRight = args.nRight.value_or(40);
    lVbx = args.lVbx.value_or(false);
    platform::DWORD default_style =
        platform::WS_POPUP | platform::WS_CAPTION | platform::WS_SYSMENU | platform::DS_MODALFRAME;
    if (args.lResizable.value_or(false)) {
        default_style |=
            platform::WS_THICKFRAME | platform::WS_MINIMIZEBOX | platform::WS_MAXIMIZEBOX;
    }
    nStyle = args.nStyle.value_or(default_style);
    nClrText = args.nClrText.value_or(GetSysColor(COLOR_BTNTEXT));
    nClrPane = args.nClrPane.value_or(GetSysColor(COLOR_BTNFACE));
    oWnd = args.oWnd;
    bool lPixels = args.lPixels.value_or(false);
    int nWidth = args.nWidth.value_or(0);
    int nHeight = args.nHeight.value_or(0);
    if (nWidth != 0 || nHeight != 0) {
        lPixels = true;
        nBottom = nHeight;
        nRight = nWidth;
    }
    lTransparent = args.lTransparent.value_or(false);
    cVarName = args.cVarName.value_or("oDlg");
    lUnicode = args.lUnicode.value_or(WindowLayer().character_mode == CharacterMode::Wide);
    lTruePixel = args.lTruePixel.value_or(lClsTruePixel);

    aControls.clear();
    if (args.cCaption) {
        cCaption = right_trimmed(*args.cCaption);
    }
    lModify = true;
    lVisible = false;
    nResult = std::intptr_t{0};
    if (args.oFont) {
        oFont = args.oFont;
        ++oFont->nCount;
    }
    nLastKey = 0;
    nHelpId = args.nHelpId;
    lResize16 = false;
    oBrush = TBrush::New(nClrPane);

    if (!lPixels) {
        nTop = static_cast<int>(nTop * 15.1);
        nBottom = static_cast<int>(nBottom * 15.1);
        nLeft = static_cast<int>(nLeft * 7.9);
        nRight = static_cast<int>(nRight * 7.9);
    }
    SETWNDDEFAULT(shared_from_this());
}

void TDialog::DefControl(const std::shared_ptr<TControl>& oCtrl) {
    if (!oCtrl->nId) {
        oCtrl->nId = TControl::GetNewId();
    }
    for (const auto& control : aControls) {
        if (control->nId == oCtrl->nId) {
            RaiseRuntimeError(
                MakeWindowLayerError(WindowLayerError::DuplicatedId, IdOperationText(*oCtrl->nId)));
            return;
        }
    }
    aControls.push_back(oCtrl);
    oCtrl->hWnd = 0;
}

std::string TDialog::cToChar(HWND hWndOwner) {
    long units = platform::GetDialogBaseUnits();
    int bx = platform::LOWORD(static_cast<std::uintptr_t>(units));
    int by = platform::HIWORD(static_cast<std::uintptr_t>(units));
    platform::RECT owner{};
    if (hWndOwner != 0 && !platform::GetWindowRect(hWndOwner, &owner)) {
        owner = {};
    }
    int y = 8 * (nTop - owner.top) / by;
    int x = 4 * (nLeft - owner.left) / bx;
    int bottom = 8 * (nBottom - owner.top) / by;
    int right = 4 * (nRight - owner.left) / bx;

    platform::DWORD style = nStyle;
    platform::DWORD ex_style = 0;
    if (style == platform::DS_SYSMODAL) {
        style = platform::WS_POPUP | platform::DS_SYSMODAL;
        ex_style = platform::WS_EX_TRANSPARENT;
    } else if (style == platform::WS_VISIBLE) {
        style = platform::WS_POPUP | platform::WS_CHILD;
    }

    std::string tpl;
    PutDword(tpl, style);
    PutDword(tpl, ex_style);
    PutWord(tpl, static_cast<std::uint16_t>(aControls.size()));
    PutWord(tpl, static_cast<std::uint16_t>(x));
    PutWord(tpl, static_cast<std::uint16_t>(y));
    PutWord(tpl, static_cast<std::uint16_t>(right - x + 1));
    PutWord(tpl, static_cast<std::uint16_t>(bottom - y + 1));
    PutWord(tpl, 0);  // no menu
    PutWord(tpl, 0);  // the platform's dialog class
    PutOemText(tpl, cCaption.value_or(""));
    while (tpl.size() % 4 != 0) {
        tpl.push_back('\0');
    }
    for (const auto& control : aControls) {
        tpl += control->cToChar();
    }
    return tpl;
}

// ---- activation ---------------------------------------------------------------------------

void TDialog::Activate(const TActivateArgs& args) {
    // The modal loop refers to this object through the stack; keep it alive for the whole loop
    // even when a callback drops the application's last reference.
    auto keep_alive = shared_from_this();
    if (!hWnd) {
        hWnd = 0;
    }
    nLastKey = 0;
    ++dialog_class().activations;
    ScopeExit finish([this] {
        --dialog_class().activations;
        lVisible = false;
    });

    HWND owner;
    if (oWnd != nullptr) {
        owner = oWnd->window();
    } else if (dialog_class().activations > 1 || WindowLayer().main_loop) {
        owner = platform::GetActiveWindow();
    } else {
        owner = WindowLayer().main_window;
    }

    bPainted = args.bPainted;
    lCentered = args.lCentered.value_or(false);
    bValid = args.bValid;
    lModal = true;
    bInit = args.bInit;
    bWhen = args.bWhen;
    lResize16 = args.lResize16.value_or(false);
    lCenterInWnd = args.lCenterInWnd.value_or(false);
    nResult = {};
    lValidating = false;
    lVisible = true;

    if (bWhen && !bWhen(*this)) {
        nResult = kDialogCancelled;
        return;
    }

    std::string tpl = !cResData.empty() ? cResData : cToChar(owner);
    std::intptr_t result = DIALOGBOXINDIRECT(tpl, owner, *this);
    nResult = result;
    if (result == -1) {
        std::string operation = "\r\n" + std::string(22, ' ') + "Title: " + cCaption.value_or("");
        RaiseRuntimeError(
            MakeWindowLayerError(WindowLayerError::CannotCreateDialogBox, std::move(operation)));
    }
}

EventResult TDialog::Initiate(HWND, HWND hWndDialog) {
    hWnd = hWndDialog;

    if (!oFont) {
        auto given = static_cast<platform::HFONT>(
            platform::SendMessage(hWndDialog, platform::WM_GETFONT, 0, 0));
        oFont = given != 0 ? TFont::FromHandle(given) : TFont::New(GETSYSFONT(), 0, -12);
    } else {
        platform::SendMessage(hWndDialog, platform::WM_SETFONT, oFont->hFont, 0);
    }

    for (const auto& control : aControls) {
        control->Initiate(hWndDialog);
    }

    if (lCentered) {
        if (dialog_class().center_on_parent || lCenterInWnd) {
            WNDCENTER(hWndDialog, oWnd != nullptr ? oWnd->window() : WindowLayer().main_window);
        } else {
            WNDCENTER(hWndDialog, 0);
        }
    } else if (cResData.empty()) {
        platform::RECT rect;
        if (platform::GetWindowRect(hWndDialog, &rect)) {
            platform::MoveWindow(hWndDialog, nLeft, nTop, rect.width(), rect.height(), true);
        }
    }

    if (cCaption) {
        SetText(*cCaption);
    }

    // The platform's dialog keyboard handling takes it and moves the focus to the first
    // control that takes Tab stops.
    platform::PostMessage(hWndDialog, platform::WM_KEYDOWN, platform::VK_TAB, 0);

    bool set_focus = true;
    if (bInit) {
        EventResult r = bInit(*this);
        if (r.is_logical() && r.value() == 0) {
            set_focus = false;
        }
    }

    Help95();

    for (const auto& control : aControls) {
        if (control->bWhen && control->window() != 0) {
            platform::EnableWindow(control->window(), control->bWhen(*control));
        }
    }
    return set_focus;
}

void TDialog::Help95() {
    if (lHelpIcon == false || window() == 0) {
        return;
    }
    platform::LONG_PTR ex_style = platform::GetWindowLongPtr(window(), platform::GWL_EXSTYLE);
    platform::SetWindowLongPtr(window(), platform::GWL_EXSTYLE,
                               ex_style | platform::WS_EX_CONTEXTHELP);
}

EventResult TDialog::Display() {
    platform::PAINTSTRUCT ps;
    platform::BeginPaint(window(), &ps);
    Paint();
    platform::EndPaint(window(), &ps);
    if (bStart) {
        // Cleared before the call: a paint handled while it pumps must not start it again.
        std::function<void()> start = std::move(bStart);
        bStart = nullptr;
        start();
    }
    return false;
}

bool TDialog::End(std::intptr_t n) {
    if (bValid && !bValid(*this)) {
        return false;
    }
    nResult = n;
    platform::EndDialog(window(), n);
    SYSREFRESH();
    return true;
}

void TDialog::SetControl(const std::shared_ptr<TControl>& oCtrl) {
    oClient = oCtrl;
    ReSize(0, 0, 0);
}

// ---- message handling ---------------------------------------------------------------------

EventResult TDialog::HandleEvent(UINT nMsg, WPARAM nWParam, LPARAM nLParam) {
    switch (nMsg) {
        case platform::WM_INITDIALOG:
            return Initiate(static_cast<HWND>(nWParam), static_cast<HWND>(nLParam));
        case platform::WM_PAINT:
            return Display();
        case platform::WM_PRINTCLIENT:
            return Answer(1);
        case platform::WM_LBUTTONDOWN:
            if (lHelpIcon == true) {
                return {};  // context help: nothing to show on this platform
            }
            break;
        default:
            break;
    }
    return TWindow::HandleEvent(nMsg, nWParam, nLParam);
}

EventResult TDialog::KeyDown(int nKey, LPARAM nFlags) {
    if (nKey == platform::VK_ESCAPE && oWnd == nullptr) {
        if (dialog_class().escape_closes) {
            End();
        }
        return Answer(0);
    }
    return TWindow::KeyDown(nKey, nFlags);
}

EventResult TDialog::KeyChar(int, LPARAM) {
    return {};
}

EventResult TDialog::SysCommand(WPARAM, LPARAM) {
    return {};
}

EventResult TDialog::Close(WPARAM) {
    return {};
}

EventResult TDialog::QueryEndSession() {
    return !End();
}

EventResult TDialog::Command(WPARAM nWParam, LPARAM nLParam) {
    int code = platform::HIWORD(nWParam);
    int id = platform::LOWORD(nWParam);
    auto control_window = static_cast<HWND>(nLParam);

    if (control_window != 0) {
        std::string cls = platform::GetClassName(control_window);
        if (cls == "ToolbarWindow32" || cls == "Edit") {
            if (TWindow* object = OWNDFROMHWND(control_window)) {
                object->Command(nWParam, nLParam);
                return true;
            }
            return {};
        }
    }

    auto control_with_id = [&]() -> TControl* {
        for (const auto& control : aControls) {
            if (control->nId == id) {
                return control.get();
            }
        }
        return nullptr;
    };

    if (id != 0 && code == 0) {
        if (control_window != 0 && id != platform::IDCANCEL) {
            if (auto* const* editing = std::get_if<TControl*>(&nResult);
                editing != nullptr && *editing != nullptr && (*editing)->nId != id &&
                !(*editing)->lValid()) {
                auto* clicked = dynamic_cast<TControl*>(OWNDFROMHWND(control_window));
                if (clicked == nullptr || !clicked->lCancel) {
                    return {};
                }
            }
            if (TControl* control = control_with_id()) {
                platform::SendMessage(control->window(), kControlClick, 0, 0);
            } else if (id == platform::IDOK) {
                End(kDialogConfirmed);
            }
        } else {
            if (id == platform::IDOK) {
                HWND next = platform::GetNextDlgTabItem(window(), platform::GetFocus(), false);
                if (next != 0) {
                    platform::SetFocus(next);
                }
            } else if (TControl* control = control_window != 0 ? control_with_id() : nullptr) {
                platform::SendMessage(control->window(), kControlClick, 0, 0);
                return false;
            } else {
                End(kDialogCancelled);
            }
        }
    } else if (id != 0) {
        if (code == 1) {
            platform::SendMessage(control_window, kControlChange, 0, 0);
        } else if (code == 8) {
            platform::SendMessage(control_window, 0x0812, 0, 0);
        }
    }
    return {};
}

EventResult TDialog::CtlColor(HWND hWndChild, WPARAM hDC) {
    if (platform::GetDlgCtrlID(hWndChild) != 65535 && platform::GetParent(hWndChild) == window()) {
        return Answer(platform::SendMessage(hWndChild, kControlColors, hDC, 0));
    }
    return {};
}

}  // namespace kadro
