#pragma once
// The "Edit" window class: a text field, single- or multi-line (ES_MULTILINE), that may be
// read-only (ES_READONLY or EM_SETREADONLY).
//
// Text is a byte string; lines are separated by CR LF. A multi-line control wraps each line at
// the width of its client area (a vertical scroll bar and a border take their share, see
// window.h), breaking after a blank where it can and inside a word only when one word alone is
// wider; blanks at a break hang past the edge. Widths come from the display's text_width
// (headless: 8 pixels per byte), the line height from its text_cell (headless: 16). The view
// scrolls by whole lines and no further than where its last page is full: the first line shown
// is at most the line count less the lines that fit, so a text that fits never scrolls.
//
// Messages answered as on the desktop platform: WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH,
// EM_SETSEL (wParam start, lParam end as 32-bit ints; a negative end means the end of the text,
// a start of -1 removes the selection, positions beyond the end are taken as the end; the caret
// goes to `end`), EM_GETSEL (MAKELONG of the 16-bit truncated start and end; the DWORD*
// in wParam / lParam, when given, get the full values), EM_GETLINECOUNT, EM_LINEINDEX,
// EM_LINEFROMCHAR, EM_LINELENGTH, EM_LINESCROLL, EM_SCROLL, EM_SCROLLCARET,
// EM_GETFIRSTVISIBLELINE, EM_CHARFROMPOS (lParam = client x, y → MAKELONG(char, line)),
// EM_REPLACESEL, EM_LIMITTEXT (0 = no limit; only typing, pasting and EM_REPLACESEL obey it),
// EM_GETLIMITTEXT, EM_UNDO / WM_UNDO (one level; a second undo redoes), EM_CANUNDO,
// EM_EMPTYUNDOBUFFER, EM_GETMODIFY / EM_SETMODIFY, EM_SETREADONLY, WM_COPY, WM_CUT, WM_PASTE,
// WM_CLEAR, WM_VSCROLL, the keys (arrows, Home, End, Page Up / Down, with Shift extending the
// selection and Ctrl moving by words / to the ends; Delete, Backspace, Shift+Delete cut,
// Ctrl+Insert copy, Shift+Insert paste) and characters (Ctrl+A select all, Ctrl+C copy,
// Ctrl+X cut, Ctrl+V paste, Ctrl+Z undo, Enter as CR LF in a multi-line ES_WANTRETURN control),
// mouse selection, WM_GETDLGCODE, focus, fonts and painting (drawing is the display's job).
//
// Read-only refuses every change the operator could make — typing, Backspace, Delete, cut,
// paste, clear, undo — silently; copying and moving the caret still work. Changes made by the
// program (WM_SETTEXT, EM_REPLACESEL) are not refused.
//
// Every change of the text, including WM_SETTEXT, is reported to the parent with
// WM_COMMAND(MAKELONG(id, EN_CHANGE), control); focus changes with EN_SETFOCUS / EN_KILLFOCUS;
// text refused by the limit with EN_MAXTEXT. The window's stored text (GetStoredWindowText)
// always equals the control's text.
//
// The class is reached by its name through CreateWindowEx or a dialog template, so this header
// declares nothing: its messages, notifications and styles are with the others in types.h.

#include "platform/types.h"
