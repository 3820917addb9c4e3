#include "app/executable/command_line.h"

namespace kadro {

CommandLine ReadCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    bool help = false;
    bool version = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument == "--help") {
            help = true;
        } else if (argument == "--version") {
            version = true;
        } else {
            line.ignored.emplace_back(argument);
        }
    }
    if (help) {
        line.request = CommandLineRequest::Help;
    } else if (version) {
        line.request = CommandLineRequest::Version;
    }
    return line;
}

std::string HelpText() {
    return std::string(R"(usage: kadro [--help | --version]

KADRO serves a floppy-disk image (a .vks file), track by track, to a remote
machine over a serial line. It asks for the image in a file chooser, then
shows one window whose log lists every track sent. Escape stops serving.

The serial port is named in KADRO.INI in the current folder:
    [Impostazioni]
    Porta=COM1
KADRO writes Porta=COM1 there when the entry is missing or empty. A line
    Traccia=kadro-trace.txt
in the same section makes every run add a wire trace to that file, one line
per event (nothing is served when it cannot be written). The port name
)") + PortNameHelp() +
           R"(The line runs at 57600 baud, 8 data bits, no parity, 1 stop bit.

Wire protocol: the remote machine sends "T" for the next track, answered by
0x00, a 10 ms pause and 4608 bytes; "E" ends the run; Escape sends 0x09.

  --help       show this text and exit
  --version    show the version and exit
Any other argument is ignored, with a note on standard error.

)" + ExitStatusHelp();
}

std::string VersionText(std::string_view version) {
    return "kadro " + std::string(version) + "\n";
}

std::string IgnoredArgumentsNote(const std::vector<std::string>& ignored) {
    std::string note =
        ignored.size() == 1 ? "kadro: argument ignored:" : "kadro: arguments ignored:";
    for (const std::string& argument : ignored) {
        note += ' ';
        for (char c : argument) {
            unsigned char byte = static_cast<unsigned char>(c);
            note += (byte < 0x20 || byte == 0x7f) ? '?' : c;
        }
    }
    note += " (kadro takes no arguments besides --help and --version)\n";
    return note;
}

}  // namespace kadro
