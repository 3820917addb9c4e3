// The kadro program: answers --help, --version and --list-ports, otherwise puts the window system
// on the person's screen and runs the program. Other arguments are ignored, with a note.

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "app/executable/command_line.h"
#include "app/main_program.h"
#include "platform/display.h"
#include "platform/fltk/screen_display.h"
#include "platform/serial_port_list.h"

int main(int argc, char** argv) {
    kadro::CommandLine line = kadro::ReadCommandLine(argc, argv);
    switch (line.request) {
        case kadro::CommandLineRequest::Help:
            std::fputs(kadro::HelpText().c_str(), stdout);
            return 0;
        case kadro::CommandLineRequest::Version:
            std::fputs(kadro::VersionText(KADRO_VERSION).c_str(), stdout);
            return 0;
        case kadro::CommandLineRequest::ListPorts:
            std::fputs(platform::SerialPortListText(platform::ListSerialPorts()).c_str(), stdout);
            return 0;
        case kadro::CommandLineRequest::Run:
            break;
    }
    if (!line.ignored.empty()) {
        std::fputs(kadro::IgnoredArgumentsNote(line.ignored).c_str(), stderr);
    }

    std::string error;
    std::unique_ptr<platform::Display> display = platform::fltk::CreateScreenDisplay(&error);
    if (!display) {
        std::fprintf(stderr, "kadro: cannot open the display: %s\n", error.c_str());
        return 2;
    }
    platform::AttachDisplay(std::move(display));
    return kadro::RunProgram();
}
