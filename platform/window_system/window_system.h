#pragma once
// What our own window system offers beyond the contract (platform/*.h): the calls a screen makes
// to draw its windows and feed it the keyboard (platform/fltk/), and the calls the Linux tests
// make to look at windows and drive keys headless. They exist only where this window system is
// linked (window_system/); the real Windows window system has none of them. Every call is made
// on the interface thread, except that SetAsyncKeyState may come from any thread.

#include <cstddef>
#include <string>
#include <vector>

#include "platform/types.h"

namespace platform {

// Every top-level window, in creation order.
std::vector<HWND> GetTopLevelWindows();

// Sets a key's state without posting a message (tests; a screen that reads the keyboard).
void SetAsyncKeyState(int virtual_key, bool down);

// The dialog class's default handling (dialog.h), as the dialog class applies it when a dialog
// procedure answers 0.
LRESULT DefDlgProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// The icon id of a static control (SS_ICON, IDI_...); 0 when none.
int GetStaticIconId(HWND hwnd);

// Whether a push button is held down now.
bool IsButtonPressed(HWND hwnd);

// What a screen needs to draw an edit control.
struct EditSnapshot {
    std::string text;
    std::size_t selection_start = 0;  // selection_start <= selection_end
    std::size_t selection_end = 0;
    std::size_t caret = 0;
    int first_visible_line = 0;
    std::vector<std::size_t> line_starts;  // index of each displayed line's first byte
    int line_height = 0;
    int visible_lines = 1;    // whole lines that fit in the client area, at least 1
    int last_first_line = 0;  // the furthest the view scrolls: where its last page is full
    bool read_only = false;
    bool focused = false;
};
// False when hwnd is not an edit control.
bool GetEditSnapshot(HWND hwnd, EditSnapshot* snapshot);

}  // namespace platform
