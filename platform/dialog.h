#pragma once
// Dialogs built from in-memory templates, and the standard controls they contain.
//
// Template bytes follow the desktop platform's standard (not extended) layout: a DLGTEMPLATE
// header (style, extended style, item count, x, y, cx, cy, menu, class, UTF-16 title, an optional
// font entry when DS_SETFONT is set), then one DWORD-aligned DLGITEMTEMPLATE per control
// (style, extended style, x, y, cx, cy, id, class as 0xFFFF + atom or a UTF-16 name, UTF-16
// title, creation-data size). Coordinates are dialog units, turned into pixels with the base
// units of GetDialogBaseUnits (x * bx / 4, y * by / 8).
//
// Standard window classes available to every dialog and to CreateWindowEx: "EDIT", "STATIC",
// "BUTTON" and the dialog class "#32770".

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Creates a modal dialog from the template and runs its modal loop:
//  1. creates the dialog window (hidden) and its controls, then sends WM_INITDIALOG
//     (wParam = first control that takes Tab stops, lParam = init_param); a TRUE answer gives
//     that control the focus;
//  2. shows the window unless EndDialog was called during initialisation;
//  3. retrieves and dispatches messages (with IsDialogMessage's keyboard handling) until
//     EndDialog has been called; EndDialog hides the window at once but the loop acts on the
//     end only when control returns to it;
//  4. destroys the window (WM_DESTROY to the dialog, then its controls) and returns the value
//     given to EndDialog.
// Returns -1 when the window cannot be created (malformed template, unknown control class).
// A WM_QUIT met by the loop ends it, is posted again, and gives 0 (unless ended before).
std::intptr_t DialogBoxIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                                     LPARAM init_param);

// Creates a modeless dialog from the template (same steps 1 and 2, no loop). 0 on failure.
HWND CreateDialogIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                               LPARAM init_param);

// Marks a modal dialog as ended with `result` and takes it off the screen at once. For a
// modeless dialog it only hides it. False when hwnd is not a dialog.
bool EndDialog(HWND dialog, std::intptr_t result);

// The dialog keyboard handling for messages meant for `dialog` or one of its controls: Tab /
// Shift+Tab move the focus among controls with WS_TABSTOP; Escape becomes WM_COMMAND IDCANCEL
// and Enter WM_COMMAND of the default button (IDOK when none) — unless the focus control's
// WM_GETDLGCODE answer asks for the key (DLGC_WANTALLKEYS, DLGC_WANTTAB for Tab, DLGC_WANTMESSAGE).
// Every other message for the dialog is translated and dispatched here. True when the message
// belonged to the dialog (and was handled); false otherwise.
bool IsDialogMessage(HWND dialog, MSG* msg);

// The dialog class's default handling: WM_CLOSE posts WM_COMMAND IDCANCEL (no control);
// WM_GETDLGCODE, WM_ERASEBKGND, painting and the rest as DefWindowProc.
LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Base units: low word = average character width, high word = height. Headless: 8 and 16.
long GetDialogBaseUnits();
// Converts a rectangle in dialog units to pixels.
RECT DialogUnitsToPixels(RECT dialog_units);

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);

}  // namespace platform
