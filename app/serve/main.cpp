// kadro-serve: the program served on a terminal. Reads its command line, puts our window system
// on the console screen and runs the program with the options, ending with the status of how
// the run ended.

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/main_program.h"
#include "app/serve/serve_command_line.h"
#include "app/serve/serving_progress.h"
#include "app/serving_events.h"
#include "platform/console/console_display.h"
#include "platform/display.h"
#include "platform/serial_port_list.h"
#include "support/program_lifecycle.h"

int main(int argc, char** argv) {
    using namespace kadro::serve;
    const ServeCommandLine line = ReadServeCommandLine(ProgramArguments(argc, argv));
    switch (line.request) {
        case ServeRequest::Help:
            std::fputs(HelpText().c_str(), stdout);
            return 0;
        case ServeRequest::Version:
            std::fputs(VersionText(KADRO_VERSION).c_str(), stdout);
            return 0;
        case ServeRequest::ListPorts:
            std::fputs(platform::SerialPortListText(platform::ListSerialPorts()).c_str(), stdout);
            return 0;
        case ServeRequest::Usage:
            std::fputs(UsageText(line.problem).c_str(), stderr);
            return kUsageStatus;
        case ServeRequest::Run:
            break;
    }

    platform::AttachDisplay(platform::console::CreateConsoleDisplay("kadro-serve"));
    ServingProgress progress;
    const kadro::ServingObservation observation = kadro::ObserveServing(progress);
    platform::console::SetStatusSource(
        [&progress] { return progress.StatusText(ServingProgress::Clock::now()); });
    // A runtime error that ends the program ends it here, without destructors: the terminal is
    // given back first.
    kadro::SetQuitHook([] {
        kadro::RunExitProcedures();
        platform::console::RestoreConsole();
        std::fflush(nullptr);
        std::_Exit(kRuntimeErrorStatus);
    });
    const kadro::RunOutcome outcome = kadro::RunProgramWithOutcome(line.options);
    platform::console::SetStatusSource({});
    platform::AttachDisplay(nullptr);
    if (outcome == kadro::RunOutcome::kNoPort) {
        std::fputs(UsageText("no port: give --port NAME, or Porta= in KADRO.INI").c_str(), stderr);
    }
    return ExitStatus(outcome);
}
