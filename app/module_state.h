#pragma once
// State of the main module, one instance for the whole process, in place before MAIN starts:
// the prepared image that track requests consume from the front, the received bytes not yet
// taken by the command loop (oldest first), and the sector counter that only feeds the log.
// Used on the interface thread only.

#include <string>

#include "app/byte_queue.h"

namespace kadro {

struct MainModuleState {
    std::string TrackImage;
    ByteQueue InputBuffer;
    int SectorCounter = -1;
    // The port was named on the command line (kadro-serve --port), not by KADRO.INI: a port
    // that will not open is then put right there.
    bool PortFromCommandLine = false;
};

MainModuleState& MainModule();

// Gives every field its initial value again. RunProgram calls it first, so every run of the
// program in a process starts from the same state.
void ResetMainModule();

}  // namespace kadro
