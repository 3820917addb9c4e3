#pragma once
// The program's own executable and the desktop's opener.
//
// GetModuleFileName(): full path of the running executable; "" when it cannot be told.
// ShellOpen(target): hands `target` (a file, a URL, a "mailto:" address) to the desktop's
// opener as its one argument, started directly, never through a shell, and not waited for.
// False when the opener could not be started; what the opener then does is not reported.
// SetErrorMode(mode): sets the process's error mode and returns the previous one (0 at first).
// Windows: the system's own (1 stops its boxes for critical errors such as a drive that is not
// ready). POSIX has no such boxes: the mode is only recorded.

#include <string>

namespace platform {

std::string GetModuleFileName();
bool ShellOpen(const std::string& target);
unsigned SetErrorMode(unsigned mode);

}  // namespace platform
