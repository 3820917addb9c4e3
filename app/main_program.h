#pragma once
// The program's flow from the choice of the image to the end of the run.
//
// MAIN(): asks for the image (chooser starting in the current directory), reads the port name
// from ".\KADRO.INI" and the wire trace's file (the options' trace_file, else the "Traccia"
// entry beside "Porta"; no trace when the entry is missing or blank), ends quietly when no image
// was chosen, opens the trace when one is named and the run has none yet (one that cannot be
// opened is told in one pop-up naming the file and the system's reason, and the run ends there:
// no serving without the trace asked for; see app/wire_trace.h), prepares the image (an image
// that cannot be read is told to the operator in one pop-up naming the file and the system's
// reason, and the run ends there, without settings written, port or window), writes "COM1" into the
// settings file when the port entry is missing or blank, and runs the one window: a modal dialog
// whose client area is the read-only log. Its init callback opens the port (and ends the dialog
// before it is shown when that fails); its start callback runs the command loop inside the first
// paint. When the command loop returns and the window stays open (its end was refused), a line lost
// afterwards is still told (log line, pop-up, end request). When the dialog has ended, the port is
// closed, and a trace that stopped during the run (a failed write) is told in one pop-up. The trace
// lives until the end of the run.
//
// RunProgram(options): the whole life of the process: the main module's state gets its initial
// values, the error handler is installed, the start-up procedures run, MAIN runs, then the exit
// procedures; returns the exit code, 0. Command-line arguments have no effect. MAIN announces
// the image read to the serving observers (app/serving_events.h), and the end of the run reaches
// them from the exit procedures.
//
// The same flow serves a program that is told what to serve instead of asking (kadro-serve):
// MAIN(options) and RunProgramWithOutcome(options), which RunProgram(options) runs, take these
// ProgramOptions and tell how the run ended.
//  - image given: no chooser; that file is prepared as a chosen one would be.
//  - port given: KADRO.INI is neither read nor checked. Otherwise Porta= is read as above.
//  - write_settings false: KADRO.INI is never written; with no port given and none in the file,
//    the operator is told so in one pop-up and the run ends before a port is opened.
//  - serve_again: after "E" the image is prepared afresh from its file (counter and image as at
//    the start), the log is emptied (after a rest in which the screen shows it), the port is
//    readied for the next session (ReadyCommForNextSession: a listening TCP line takes the next
//    connection, and the bytes the last one left untaken are dropped; other lines keep them) and
//    the command loop serves again on the same port, in the same window, until Escape, a lost
//    line or an image that can no longer be read ends it.
//  - trace_file: the wire trace's file, read before Traccia= (as above).
// MAIN() is MAIN with the default options: the window program.
//
// Interface thread only.

#include <optional>
#include <string>

#include "comm/serial_port.h"

namespace kadro {

// What a program's command line may set for the run.
struct ProgramOptions {
    std::optional<std::string> image;  // the program's text (platform/text.h)
    std::optional<std::string> port;   // as Porta= names it
    bool write_settings = true;
    bool serve_again = false;
    // The wire trace's file (program text), in place of the settings file's "Traccia" entry.
    std::optional<std::string> trace_file;
};

// How a run ended.
enum class RunOutcome {
    kEnded,               // "E", the operator's stop, or no image chosen
    kImageUnreadable,     // the image file cannot be read
    kSettingsUnreadable,  // KADRO.INI is there but cannot be read
    kNoPort,              // no port given and none in KADRO.INI (write_settings off)
    kPortSetupFailed,     // the port could not be opened or set up
    kLineLost,            // the line was lost or stalled while serving
    kTraceUnopenable,     // the trace file cannot be opened
};

RunOutcome MAIN(const ProgramOptions& options);
void MAIN();
int RunProgram(const ProgramOptions& options = {});
RunOutcome RunProgramWithOutcome(const ProgramOptions& options);

// "KADRO 1.00", a blank, the maker's notice, two blanks and "(" + port + ":57600,N,8,1)".
std::string MainCaption(const std::string& cPort);

}  // namespace kadro
