#pragma once
// The screen display: puts the window system on an X display through FLTK and turns the
// person's keyboard and mouse into window messages.
//
// What it does, as a platform::Display:
//  - every visible top-level window becomes a toolkit window of the window's client size at the
//    window's client position, titled with the window's text; it asks the window manager for a
//    title bar and a thin border only (no close, minimise or maximise button, no resizing) and
//    ignores a close request the window manager sends anyway. Children are drawn from the
//    window system's own state: edit controls (wrapped text, selection, caret, a working
//    vertical scroll bar), static texts and icons, push buttons with the default one marked;
//  - key presses and releases go to the window system as key-down / key-up messages with the
//    character the key types (Ctrl+C types 3); the toolkit's own Escape handling never acts.
//    The left mouse button goes, as button-down / move / button-up messages in client
//    coordinates, to the child under the pointer at the press (which keeps the drag);
//  - the async key state is kept from the keyboard's transitions as they arrive (the X Input
//    extension's raw key events on the root window report every physical press and release),
//    so asking costs no question to the server and a change wakes a waiting loop. Which presses
//    count is KeyTracker's rule (key_tracker.h): a press that reached a window of the program,
//    or Escape anywhere while no window of the program is on the screen; a counted key stays
//    down until its physical release. Without the extension a release counts where a window of
//    the program hears it, or when the server's key map shows the key up;
//  - drawing waits until the message queue calls paint(): changes of the window system are
//    only noted when they happen. A changed edit control is drawn from what its last drawing
//    left in the window's back buffer: rows that only moved are moved, and only new or changed
//    rows are drawn (a log that grows by a line costs that line); anything else draws the
//    whole window;
//  - the X connection is read when a wait or a poll asks, but by polls at most every 2 ms, so
//    that a loop calling poll() again and again does not make a system call on every pass;
//  - the bell (880 Hz for the asked duration where the server can), the X clipboard and
//    selection, the screen rectangle, text measuring in its font, and a modal file chooser
//    (the desktop's native one where the toolkit finds it, the toolkit's own otherwise).
//
// Contract: at most one screen display per process. Create it on the interface thread before
// any other thread uses the window system; every method except wake() is then called on that
// thread. Without an X display (DISPLAY unset or unreachable) CreateScreenDisplay returns
// nullptr and sets *error to a message for the operator; nothing has been changed then. A lost
// connection to the X server later ends the process (the toolkit's fatal error).

#include <memory>
#include <string>

#include "platform/display.h"

namespace platform::fltk {

std::unique_ptr<Display> CreateScreenDisplay(std::string* error);

}  // namespace platform::fltk
