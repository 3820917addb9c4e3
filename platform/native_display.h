#pragma once
// The display on Windows: the real window system draws every window and turns the person's
// input into messages itself, so this display only answers what the program asks of a
// display (display.h): the primary screen's rectangle, text measuring and the beep.
//
//  - screen_rect: the desktop window's rectangle (the whole primary screen, task bar
//    included);
//  - text_cell: the dialog base units (average character width and height of the system
//    font); text_width: the width of the text in the device context of the active window, or
//    of the screen when no window of the thread is active, with that context's current font;
//  - beep: the system's Beep, or its default sound where there is no tone generator;
//  - poll, wait, key_down, choose_files and set_clipboard_text keep their headless defaults:
//    the real message queue, GetAsyncKeyState, GetOpenFileNameW and the clipboard do that work.
//
// CurrentDisplay() is this display until AttachDisplay installs another; AttachDisplay(nullptr)
// goes back to it. CreateScreenDisplay never fails on Windows: it returns a new display of this
// kind and leaves *error untouched.

#include <memory>
#include <string>

#include "platform/display.h"

namespace platform {

std::unique_ptr<Display> CreateScreenDisplay(std::string* error);

}  // namespace platform
