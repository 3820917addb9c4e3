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
// Standard window classes available to every dialog and to CreateWindowEx, registered before
// the first window is created: "Edit" (edit_control.h), "Static", "Button" and the dialog class
// "#32770". Class names compare case-insensitively; GetClassName reports them as written here,
// as the desktop platform does.
//
// Static controls: SS_ICON shows a system icon, named by id (IDI_...): by the ordinal title of a
// template item ("#32515" when created directly) or with STM_SETICON (wParam = id, answers the
// previous id). WM_GETDLGCODE answers DLGC_STATIC.
//
// Push buttons (BS_PUSHBUTTON, BS_DEFPUSHBUTTON): a click — mouse released over the button it
// went down on, Space released after it was pressed there, BM_CLICK — sends
// WM_COMMAND(MAKELONG(id, BN_CLICKED), button) to the parent unless the button is disabled.
// WM_GETDLGCODE answers DLGC_BUTTON with DLGC_DEFPUSHBUTTON or DLGC_UNDEFPUSHBUTTON;
// BM_SETSTYLE changes the push-button style.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

// Creates a modal dialog from the template and runs its modal loop:
//  1. creates the dialog window (hidden; the template's x, y and client size cx, cy in dialog
//     units, x, y relative to the owner's client area) and its controls, then sends
//     WM_INITDIALOG (wParam = first control that takes Tab stops, lParam = init_param); a
//     non-zero answer gives that control the focus, unless the dialog has already been ended;
//  2. disables the owner (when given and enabled), and shows the window unless EndDialog was
//     called during initialisation — such a window is never shown and never painted;
//  3. retrieves messages (GetMessage, so messages sent from other threads are delivered) and
//     passes them to IsDialogMessage, or translates and dispatches those that are not the
//     dialog's, until EndDialog has been called; EndDialog hides the window at once but the loop
//     acts on the end only when control returns to it;
//  4. re-enables the owner, destroys the window (WM_DESTROY to the dialog, then its controls),
//     gives the focus back to the window that had it before when nothing else took it, and
//     returns the value given to EndDialog.
// Returns -1 when the window cannot be created (malformed template, a dialog class other than
// the standard one, unknown control class, a creation refused by a procedure). A window that a
// procedure destroys without EndDialog ends the loop with 0. A WM_QUIT met by the loop ends it,
// is posted again, and gives 0 (unless ended before). The template's font entry is read but
// changes nothing: base units always come from the display.
std::intptr_t DialogBoxIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                                     LPARAM init_param);

// Creates a modeless dialog from the template (step 1 above), shown when the template's style
// has WS_VISIBLE and it was not ended during initialisation; the owner stays enabled and there
// is no loop. 0 on failure.
HWND CreateDialogIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                               LPARAM init_param);

// Marks a modal dialog as ended with `result` and takes it off the screen at once. For a
// modeless dialog it only hides it. False when hwnd is not a dialog.
bool EndDialog(HWND dialog, std::intptr_t result);

// The dialog keyboard handling for messages meant for `dialog` or one of its controls. For a
// key-down it first asks the message's window for WM_GETDLGCODE (lParam = the MSG); unless the
// answer asks for the key (DLGC_WANTALLKEYS / DLGC_WANTMESSAGE for every key, DLGC_WANTTAB for
// Tab, DLGC_WANTARROWS for arrows): Tab / Shift+Tab move the focus among controls with
// WS_TABSTOP (an edit control entered this way gets its whole text selected); arrows move it
// without selecting; Escape sends WM_COMMAND IDCANCEL (lParam: the IDCANCEL control or 0); Enter
// sends WM_COMMAND of the focused push button, else of the default push button, else IDOK.
// Every other message for the dialog is translated and dispatched here. True when the message
// belonged to the dialog (and was handled); false otherwise.
bool IsDialogMessage(HWND dialog, MSG* msg);

// The dialog class's window procedure calls the dialog procedure with every message, from the
// first one sent during creation on; when that returns 0 the dialog class's default handling
// takes the message: WM_CLOSE posts WM_COMMAND IDCANCEL (lParam: the IDCANCEL control, 0 when
// there is none) instead of destroying; WM_GETDLGCODE and WM_INITDIALOG answer 0; painting and
// the rest as DefWindowProc. Otherwise the answer is the dialog procedure's value itself for
// WM_INITDIALOG, the WM_CTLCOLOR* messages, WM_COMPAREITEM, WM_VKEYTOITEM, WM_CHARTOITEM and
// WM_QUERYDRAGICON, and the DWLP_MSGRESULT slot (which starts at 0 for each message) for all
// others.

// Base units: low word = average character width, high word = height. Headless: 8 and 16.
long GetDialogBaseUnits();
// Converts a rectangle in dialog units to pixels.
RECT DialogUnitsToPixels(RECT dialog_units);

// The next (or previous) child of `dialog` after `control` that is visible, enabled and has
// WS_TABSTOP, wrapping around; the first (last) one when `control` is 0 or not a child. 0 when
// no child qualifies.
HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous);

}  // namespace platform
