#pragma once
// The kadro command line. The program itself takes no options: it is driven by KADRO.INI and
// the operator. Three requests are answered without opening a window: --help, --version and
// --list-ports (the serial ports of this computer, platform/serial_port_list.h). Any other
// argument is ignored, and the program runs as it would without it.
//
// ReadCommandLine never fails: every argument is either a request or ignored. --help wins
// over the others, --version over --list-ports, wherever they stand; ignored arguments are kept
// in order for the note.
//
// The texts are plain English for the terminal; none of them ends without a newline.

#include <string>
#include <string_view>
#include <vector>

namespace kadro {

enum class CommandLineRequest { Run, Help, Version, ListPorts };

struct CommandLine {
    CommandLineRequest request = CommandLineRequest::Run;
    std::vector<std::string> ignored;
};

CommandLine ReadCommandLine(int argc, const char* const* argv);

// The text printed for --help: what the program does, the settings file, the port names, the
// wire protocol and the exit status.
std::string HelpText();
// The parts of it that differ by system (posix/command_line_posix.cpp,
// win32/command_line_windows.cpp): how a port may be named, continuing the sentence "The name",
// and the exit status.
std::string PortNameHelp();
std::string ExitStatusHelp();

// "kadro " followed by the version of the build and a newline.
std::string VersionText(std::string_view version);

// One line for standard error naming the ignored arguments. Control characters inside an
// argument are shown as "?" so that the note stays one line.
std::string IgnoredArgumentsNote(const std::vector<std::string>& ignored);

}  // namespace kadro
