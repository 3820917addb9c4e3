#include "support/close_confirmation.h"

#include <cxxabi.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <typeinfo>

#include "platform/text.h"
#include "platform/window.h"
#include "support/message_popup.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/window.h"

namespace kadro {
namespace {

constexpr std::uint32_t kRed = 255;

bool& marker() {
    static bool running = false;
    return running;
}

FolderPages* AsFolder(TControl& control) {
    if (!ClassName(control).starts_with("TFOLDER")) {
        return nullptr;
    }
    return dynamic_cast<FolderPages*>(&control);
}

void Repaint(TDialog& oDlg) {
    platform::InvalidateRect(oDlg.window(), false);
}

void ReportFailure(TDialog& oDlg, TControl& control, const char* message) {
    platform::SetFocus(control.window());
    const std::uint32_t pane = control.nClrPane;
    control.nClrPane = kRed;
    Repaint(oDlg);
    POPMSG(std::string(message), 1);
    control.nClrPane = pane;
    Repaint(oDlg);
    platform::SetFocus(control.window());
}

struct MarkerScope {
    MarkerScope() { marker() = true; }
    ~MarkerScope() { marker() = false; }
    MarkerScope(const MarkerScope&) = delete;
    MarkerScope& operator=(const MarkerScope&) = delete;
};

}  // namespace

std::string ClassName(const TWindow& oWnd) {
    const char* mangled = typeid(oWnd).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled != nullptr ? demangled : mangled;
    std::free(demangled);
    if (std::size_t colons = name.rfind("::"); colons != std::string::npos) {
        name.erase(0, colons + 2);
    }
    return platform::AsciiUpper(name);
}

bool CloseConfirmationRunning() {
    return marker();
}

void UPDATEMODIFY(TDialog& oDlg) {
    for (const std::shared_ptr<TControl>& control : oDlg.aControls) {
        if (FolderPages* folder = control ? AsFolder(*control) : nullptr) {
            for (const std::shared_ptr<TDialog>& page : folder->Pages()) {
                if (page && page->lModify) {
                    oDlg.lModify = true;
                }
            }
        }
    }
}

bool VALID2_(TDialog& oDlg) {
    // A copy: a check may add or remove controls.
    std::vector<std::shared_ptr<TControl>> controls = oDlg.aControls;
    for (const std::shared_ptr<TControl>& control : controls) {
        if (!control) {
            continue;
        }
        const std::string name = ClassName(*control);
        if (std::string_view("TMETER|TSAY").find(name) != std::string_view::npos) {
            continue;
        }
        if (name.starts_with("TCOMBOBOX") && control->bSetGet) {
            control->bSetGet(control->GetText());
        }
        if (control->bWhen && !control->bWhen(*control)) {
            continue;
        }
        // A copy: the check may change the control's Cargo.
        const ControlCheck check = control->Cargo.check;
        if (check && !check(*control)) {
            ReportFailure(oDlg, *control, "Campo non valido.");
            return false;
        }
    }
    return true;
}

bool VALID_(TDialog& oDlg, bool lAsk) {
    const platform::HWND focus = platform::GetFocus();
    if (marker()) {
        return false;
    }
    MarkerScope running;

    std::optional<std::intptr_t>& close_reason = oDlg.Cargo.close_reason;
    if (!close_reason || *close_reason == kDialogCancelled) {
        if (!lAsk) {
            return true;
        }
        UPDATEMODIFY(oDlg);
        if (!oDlg.lModify) {
            return true;
        }
        PopResult answer = POPMSG(std::string("Annullo le modifiche?"), 5);
        const bool discard = std::get_if<bool>(&answer) != nullptr && std::get<bool>(answer);
        if (!discard) {
            platform::SetFocus(focus);
        }
        return discard;
    }

    close_reason.reset();
    if (auto* control = dynamic_cast<TControl*>(OWNDFROMHWND(focus))) {
        control->LostFocus(0);
    }
    if (!VALID2_(oDlg)) {
        return false;
    }
    std::vector<std::shared_ptr<TControl>> controls = oDlg.aControls;
    for (const std::shared_ptr<TControl>& control : controls) {
        FolderPages* folder = control ? AsFolder(*control) : nullptr;
        if (folder == nullptr) {
            continue;
        }
        std::vector<std::shared_ptr<TDialog>> pages = folder->Pages();
        for (std::size_t j = 0; j < pages.size(); ++j) {
            folder->SetOption(static_cast<int>(j) + 1);
            if (pages[j] && !VALID2_(*pages[j])) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace kadro
