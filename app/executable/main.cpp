// The kadro program: puts the window system on the person's screen and runs the program.
// Command-line arguments have no effect.

#include <cstdio>
#include <string>

#include "app/main_program.h"
#include "platform/display.h"
#include "platform/fltk/screen_display.h"

int main() {
    std::string error;
    std::unique_ptr<platform::Display> display = platform::CreateScreenDisplay(&error);
    if (!display) {
        std::fprintf(stderr, "kadro: cannot open the display: %s\n", error.c_str());
        return 2;
    }
    platform::AttachDisplay(std::move(display));
    return kadro::RunProgram();
}
