#include "app/serve/serve_command_line.h"

#include <optional>
#include <utility>

namespace kadro::serve {
namespace {

// "--name VALUE" or "--name=VALUE" at arguments[i]; moves i past what it took. nullopt when
// the argument is another one; `missing` is set when the value is not there.
std::optional<std::string> option_value(const std::vector<std::string>& arguments, std::size_t& i,
                                        std::string_view name, bool& missing) {
    std::string_view argument = arguments[i];
    if (argument == name) {
        if (i + 1 >= arguments.size()) {
            missing = true;
            return std::string();
        }
        return arguments[++i];
    }
    if (argument.starts_with(name) && argument.size() > name.size() &&
        argument[name.size()] == '=') {
        return std::string(argument.substr(name.size() + 1));
    }
    return std::nullopt;
}

ServeCommandLine usage(std::string problem) {
    ServeCommandLine line;
    line.request = ServeRequest::Usage;
    line.problem = std::move(problem);
    return line;
}

}  // namespace

ServeCommandLine ReadServeCommandLine(const std::vector<std::string>& arguments) {
    // The requests that answer at once, strongest first, wherever they stand before "--".
    for (const auto& [name, request] :
         {std::pair{"--help", ServeRequest::Help}, std::pair{"--version", ServeRequest::Version},
          std::pair{"--list-ports", ServeRequest::ListPorts}}) {
        for (const std::string& argument : arguments) {
            if (argument == "--") {
                break;
            }
            if (argument == name) {
                return {.request = request};
            }
        }
    }

    ServeCommandLine line;
    line.options.write_settings = false;
    std::vector<std::string> images;
    bool options_end = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (options_end || argument.empty() || argument[0] != '-' || argument == "-") {
            images.push_back(argument);
            continue;
        }
        if (argument == "--") {
            options_end = true;
            continue;
        }
        if (argument == "--again") {
            line.options.serve_again = true;
            continue;
        }
        bool missing = false;
        if (auto port = option_value(arguments, i, "--port", missing)) {
            if (missing || port->empty()) {
                return usage("--port needs a port name");
            }
            line.options.port = std::move(*port);
            continue;
        }
        if (auto trace = option_value(arguments, i, "--trace", missing)) {
            if (missing || trace->empty()) {
                return usage("--trace needs a file name");
            }
            line.options.trace_file = std::move(*trace);
            continue;
        }
        return usage("unknown option " + argument);
    }
    if (images.empty()) {
        return usage("no image named");
    }
    if (images.size() > 1) {
        return usage("one image at a time (" + images[0] + ", " + images[1] + ")");
    }
    line.options.image = images[0];
    return line;
}

int ExitStatus(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::kEnded:
            return 0;
        case RunOutcome::kNoPort:
            return kUsageStatus;
        case RunOutcome::kImageUnreadable:
            return 3;
        case RunOutcome::kSettingsUnreadable:
            return 4;
        case RunOutcome::kPortSetupFailed:
            return 5;
        case RunOutcome::kLineLost:
            return 6;
        case RunOutcome::kTraceUnopenable:
            return 7;
    }
    return kRuntimeErrorStatus;
}

std::string HelpText() {
    return R"(usage: kadro-serve [--port NAME] [--trace FILE] [--again] IMAGE
       kadro-serve --help | --version | --list-ports

kadro-serve serves the floppy-disk image IMAGE (a .vks file), track by track,
to a remote machine over a serial line, without a desktop: the same server as
kadro, on a terminal, over SSH or as a service.

  --port NAME    the serial port, named as Porta= in KADRO.INI names it
                 (COM1 ... COM256, /dev/ttyUSB0, ttyUSB0; COM3 on Windows).
                 Without it, Porta= in section [Impostazioni] of KADRO.INI
                 in the current folder; kadro-serve never writes KADRO.INI.
  --trace FILE   write a wire trace of the run to FILE (one line per event:
                 the image, the port, each byte received, each track sent,
                 the stop byte, faults, the end); without it, Traccia= in
                 KADRO.INI names the file, as for kadro
  --again        after "E", prepare IMAGE afresh and serve the next session
                 on the same port, until stopped
  --list-ports   list the serial ports of this computer, each with the name
                 to give --port or Porta= first, and exit
  --help         show this text and exit
  --version      show the version and exit

The line runs at 57600 baud, 8 data bits, no parity, 1 stop bit. The remote
machine sends "T" for the next track, answered by 0x00, a 10 ms pause and 4608
bytes; "E" ends the session.

Standard output gets the log, one line per event. Messages for the operator
go to standard error, after "kadro-serve: ". On a terminal one status line at
the bottom shows the tracks and bytes sent, the time taken and the time left.

Escape typed on the terminal, Ctrl-C, SIGTERM and SIGHUP (on Windows: Escape,
Ctrl-C, Ctrl-Break, closing the console) stop serving: the byte 0x09 tells the
remote machine, once, after any track being sent has gone out.

Exit status:
  0  the remote machine sent "E", or the operator stopped serving
  1  an unexpected runtime error ended the program
  2  usage: a wrong option, no image named, or no port given and none in
     KADRO.INI
  3  the image cannot be read
  4  KADRO.INI is there but cannot be read
  5  the port cannot be opened or set up
  6  the line was lost or stalled while serving
  7  the trace file cannot be opened
)";
}

std::string VersionText(std::string_view version) {
    return "kadro-serve " + std::string(version) + "\n";
}

std::string UsageText(std::string_view problem) {
    return "kadro-serve: " + std::string(problem) +
           "\nusage: kadro-serve [--port NAME] [--trace FILE] [--again] IMAGE (see "
           "kadro-serve --help)\n";
}

}  // namespace kadro::serve
