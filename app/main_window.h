#pragma once
// The program's one window as MAIN builds and runs it, in one place for MAIN and for the tests
// that drive the same window. Needs only the window layer.
//
// NewMainDialog<Dialog>(cCaption): a dialog of class Dialog (TDialog or derived) of 500 x 500
// pixels, style 0, captioned `cCaption`, not marked modified and without a help button in its
// caption. It becomes the default parent of the controls created next (see TDialog::New).
//
// NewLogView<Log>(bSetGet): the read-only log of class Log (TMultiGet or derived) at row 0,
// column 0, whose text is read and written through `bSetGet`; it belongs to the dialog built
// last, and every other argument takes its default.
//
// ActivateMainDialog(oDlg, LogView, bValid, init): runs `oDlg` modally, centred, with `bValid` as
// its valid callback. Its init callback makes `LogView` the dialog's client control, then runs
// `init` and answers what it answers. Returns when the dialog has ended (see TDialog::Activate).
//
// Interface thread only.

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/multi_get.h"
#include "ui/window.h"

namespace kadro {

template <class Dialog = TDialog>
std::shared_ptr<Dialog> NewMainDialog(std::string cCaption) {
    std::shared_ptr<Dialog> oDlg = TDialog::New<Dialog>({.cCaption = std::move(cCaption),
                                                         .lVbx = false,
                                                         .nStyle = 0,
                                                         .lPixels = false,
                                                         .nWidth = 500,
                                                         .nHeight = 500,
                                                         .lTransparent = false,
                                                         .cVarName = "oDlg",
                                                         .lTruePixel = false});
    oDlg->lModify = false;
    oDlg->lHelpIcon = false;
    return oDlg;
}

template <class Log = TMultiGet>
std::shared_ptr<Log> NewLogView(SetGetBlock bSetGet) {
    return TMultiGet::New<Log>(
        {.nRow = 0, .nCol = 0, .bSetGet = std::move(bSetGet), .lReadOnly = true});
}

inline void ActivateMainDialog(TDialog& oDlg, TMultiGet& LogView,
                               std::function<bool(TWindow&)> bValid,
                               std::function<EventResult()> init) {
    TDialog* dialog = &oDlg;
    TMultiGet* log = &LogView;
    oDlg.Activate({.lCentered = true,
                   .bValid = std::move(bValid),
                   .bInit = [dialog, log, init = std::move(init)](TWindow&) -> EventResult {
                       dialog->SetControl(
                           std::static_pointer_cast<TControl>(log->shared_from_this()));
                       return init();
                   },
                   .lResize16 = true});
}

}  // namespace kadro
