// The kadro program on Windows: a desktop (GUI subsystem) executable. The real window system
// shows every window and turns input into messages, so there is no display to attach.
// Command-line arguments have no effect.

#include "app/main_program.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    return kadro::RunProgram();
}
