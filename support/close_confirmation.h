#pragma once
// The close confirmation of dialogs: the valid callback the program installs on its dialogs,
// the validation of their controls, and the carrying of changes up from folder pages.
//
// VALID_(oDlg, lAsk) decides whether oDlg may close:
//  - while another VALID_ call is running further up the call chain (for instance one whose
//    question box is pumping messages) it refuses at once; otherwise it marks itself running
//    until it returns, however it returns;
//  - the dialog's Cargo.close_reason empty or kDialogCancelled (not confirmed): true when lAsk
//    is false; else UPDATEMODIFY, true when lModify is false, else
//    POPMSG("Annullo le modifiche?", 5): true on Yes; on No the focus goes back to the window
//    that had it and the answer is false;
//  - any other close reason (confirmed): the reason is cleared (a failed validation leaves the
//    next close unconfirmed), the control that has the focus gets LostFocus so that its pending
//    input is taken over, then VALID2_ of the dialog and of every page of every folder control,
//    pages in order with each brought to the front (SetOption) before it is checked: false at
//    the first failure, else true.
// VALID2_(oDlg) checks every control in order: static texts and meters (class name contained in
// "TMETER|TSAY") are skipped; a combo box (class name beginning "TCOMBOBOX") first stores its
// shown text through bSetGet, even when inactive; a control whose bWhen answers false is
// skipped; a control whose Cargo.check answers false fails with "Campo non valido.". Values of
// this window layer are text, so the date and number checks of other field kinds never apply.
// A failing control gets the focus, a red pane (255) while POPMSG(message, 1) is up with the
// dialog repainted without erasing before and after, its pane colour back and the focus again;
// VALID2_ then answers false.
// UPDATEMODIFY(oDlg) sets the dialog's lModify when any page of a folder control has lModify
// set; it never clears it.
//
// Class names are the objects' own class names in upper case ("TMULTIGET" for a TMultiGet).
// Folder controls are the controls whose class name begins "TFOLDER" and that offer
// FolderPages.
//
// Interface thread only. Nothing here raises; a failing field is reported and the dialog stays
// open.

#include <memory>
#include <string>
#include <vector>

#include "ui/window.h"

namespace kadro {

class TWindow;
class TDialog;
class TControl;

// What a folder control offers: its page dialogs in order, and bringing page n (1-based) to the
// front.
class FolderPages {
  public:
    virtual ~FolderPages() = default;
    virtual std::vector<std::shared_ptr<TDialog>> Pages() = 0;
    virtual void SetOption(int nOption) = 0;
};

// The upper-case class name of an object of the window layer.
std::string ClassName(const TWindow& oWnd);

bool VALID_(TDialog& oDlg, bool lAsk);
bool VALID2_(TDialog& oDlg);
void UPDATEMODIFY(TDialog& oDlg);

// True while a VALID_ call is running.
bool CloseConfirmationRunning();

}  // namespace kadro
