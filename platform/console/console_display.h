#pragma once
// The console screen: our window system shown in a terminal, for a program that serves without
// a desktop (kadro-serve). Namespace platform::console.
//
// What it does, as a platform::Display:
//  - the log: each line added to an edit control (the program's one log) goes to standard
//    output as one line, as soon as the interface thread draws (its rests, the pause before a
//    track), never in the middle of the code that added it; CR LF becomes a line end;
//  - message boxes: the text goes to standard error, each of its lines prefixed with the
//    program's name and ": " (blank lines left out), and the box is answered at once, as the
//    operator would who wants nothing done: Cancel or No where the box has one, otherwise its
//    default button;
//  - the operator's stop (terminal.h: Escape typed on the controlling terminal, Ctrl-C,
//    SIGTERM, SIGHUP; on Windows Escape, Ctrl-C, Ctrl-Break, the console closing) is Escape
//    held down from then on: GetAsyncKeyState(VK_ESCAPE) answers down, and one Escape key-down
//    message goes to the focus window once there is one that is not a message box;
//  - the status line: when standard output is a terminal, one line at its bottom shows what
//    the status source gives, redrawn in place (carriage return, the text cut to the terminal's
//    width, blanks over the rest) at most 10 times a second while it changes and once a second
//    while the program rests, cleared before anything else is written and at the end. When
//    standard output is not a terminal nothing of it is written, and no escape sequence either.
//  - no file chooser (cancelled), no clipboard, no sound; the screen is the headless one.
//
// Contract: at most one console display per process, made on the interface thread before
// anything else uses the window system. Texts are the program's (Windows-1252) and reach the
// terminal converted (terminal.h). The keyboard's mode and the signal handling are put back when
// the display goes, or earlier by RestoreConsole(). Nothing here fails; output that cannot be
// written is dropped.

#include <functional>
#include <memory>
#include <string>

#include "platform/display.h"

namespace platform::console {

std::unique_ptr<Display> CreateConsoleDisplay(std::string program_name);

// What the status line shows, asked for each time it may be drawn (interface thread). An empty
// text shows no line. Without a console display, or with standard output not a terminal, the
// source is never asked.
void SetStatusSource(std::function<std::string()> source);

// Clears the status line and puts the terminal back as the program found it, for an end that
// runs no destructor. Safe to call again, and without a console display.
void RestoreConsole();

}  // namespace platform::console
