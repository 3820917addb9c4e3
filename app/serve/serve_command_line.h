#pragma once
// The kadro-serve command line and its exit statuses.
//
//   kadro-serve [--port NAME] [--trace FILE] [--again] IMAGE
//   kadro-serve --help | --version | --list-ports
//
// ReadServeCommandLine(arguments): the arguments after the program's name, in the program's
// text (ProgramArguments). --help wins over everything, then --version, then --list-ports (the
// serial ports of this computer, platform/serial_port_list.h); otherwise the options
// (each value either as the next argument or after "=", "--" ending the options) and exactly one
// IMAGE make a Run; anything else is a Usage request whose `problem` says what is wrong in one
// English line. It never fails.
//
// ExitStatus(outcome): the status kadro-serve ends with for a run that ended so; the statuses are
// listed in HelpText() and the manual page:
//   0 ended by "E" or by the operator, 1 a runtime error ended the program (kRuntimeErrorStatus),
//   2 usage (also: no port anywhere), 3 image unreadable, 4 KADRO.INI unreadable, 5 port set-up
//   failed, 6 line lost or stalled, 7 trace file cannot be opened.
//
// The texts are plain English for the terminal and end with a newline.

#include <string>
#include <string_view>
#include <vector>

#include "app/main_program.h"

namespace kadro::serve {

enum class ServeRequest { Run, Help, Version, ListPorts, Usage };

struct ServeCommandLine {
    ServeRequest request = ServeRequest::Run;
    ProgramOptions options;
    std::string problem;  // for Usage
};

ServeCommandLine ReadServeCommandLine(const std::vector<std::string>& arguments);

inline constexpr int kUsageStatus = 2;
inline constexpr int kRuntimeErrorStatus = 1;
int ExitStatus(RunOutcome outcome);

std::string HelpText();
// "kadro-serve " followed by the version of the build.
std::string VersionText(std::string_view version);
// For a Usage request: the problem, then where to read more.
std::string UsageText(std::string_view problem);

// The command line's arguments after the program's name, as the program's text (platform/text.h):
// on POSIX each argument's bytes read as a name the system gave (kept as they are when they
// have no such reading); on Windows the system's wide command line. Per system:
// posix/arguments_posix.cpp, win32/arguments_windows.cpp.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace kadro::serve
