#include "app/command_loop.h"

#include <chrono>

#include "app/module_state.h"
#include "comm/message_pump.h"
#include "support/error_handler.h"
#include "ui/dialog.h"
#include "ui/multi_get.h"

namespace kadro {
namespace {

constexpr int kEscape = 27;
constexpr std::size_t kTrackBytes = 4608;
constexpr char kLeadIn = '\x00';
constexpr char kStopByte = '\x09';
// Longest rest between two polls of the wait. A received byte, a window message and a change of
// the key state end the rest at once, so the bound is only a guard.
constexpr std::chrono::milliseconds kLongestRest{std::chrono::hours(1)};

}  // namespace

void KADRO(PortHandle nPortHandle, TMultiGet& LogView) {
    ApplicationFrame frame("KADRO");
    for (;;) {
        frame.line(__LINE__);
        if (GETASYNCKEYSTATE(kEscape)) {
            return;
        }
        MESSAGE(LogView, "Waiting command (ESC to exit)...");
        for (;;) {
            frame.line(__LINE__);
            std::optional<std::string> cCommand = WAITCOMMAND();
            if (GETASYNCKEYSTATE(kEscape)) {
                frame.line(__LINE__);
                SENDSTR(nPortHandle, std::string(1, kStopByte));
                break;  // back to the first test, which ends the loop while Escape is held
            }
            if (cCommand == "T") {
                frame.line(__LINE__);
                TRK(nPortHandle, LogView);
            } else if (cCommand == "E") {
                frame.line(__LINE__);
                if (auto* dialog = dynamic_cast<TDialog*>(LogView.oWnd)) {
                    dialog->End();
                }
                return;
            }
        }
    }
}

std::optional<std::string> WAITCOMMAND() {
    ApplicationFrame frame("WAITCOMMAND");
    std::optional<std::string> cCommand;
    for (;;) {
        frame.line(__LINE__);
        if (GETASYNCKEYSTATE(kEscape)) {
            break;
        }
        cCommand = GETCHAR();
        if (!cCommand->empty()) {
            break;
        }
        SYSREFRESH();
        // Polling without a pause would keep a processor busy for the whole run.
        if (main_module().InputBuffer.empty()) {
            WAITFORINPUT(kLongestRest);
        }
    }
    frame.line(__LINE__);
    SYSREFRESH();
    return cCommand;
}

std::string GETCHAR() {
    ApplicationFrame frame("GETCHAR");
    frame.line(__LINE__);
    ByteQueue& input = main_module().InputBuffer;
    if (input.empty()) {
        return {};
    }
    return std::string(1, input.take_front());
}

void TRK(PortHandle nPortHandle, TMultiGet& LogView) {
    ApplicationFrame frame("TRK");
    MainModuleState& state = main_module();
    frame.line(__LINE__);
    MESSAGE(LogView, "Sending sectors " + std::to_string(state.SectorCounter) + " to " +
                         std::to_string(state.SectorCounter + 17));
    frame.line(__LINE__);
    SENDSTR(nPortHandle, std::string(1, kLeadIn));
    frame.line(__LINE__);
    SLEEP(10);
    frame.line(__LINE__);
    std::size_t count = std::min(kTrackBytes, state.TrackImage.size());
    SENDSTR(nPortHandle, std::string_view(state.TrackImage).substr(0, count));
    frame.line(__LINE__);
    state.TrackImage.erase(0, count);
    state.SectorCounter += 18;
}

bool SENDSTR(PortHandle nPortHandle, std::string_view cData) {
    ApplicationFrame frame("SENDSTR");
    frame.line(__LINE__);
    return WRITECOMM(nPortHandle, cData) == static_cast<std::int16_t>(cData.size());
}

void MESSAGE(TMultiGet& LogView, std::string_view cLine) {
    ApplicationFrame frame("MESSAGE");
    frame.line(__LINE__);
    LogView.VarPut(LogView.VarGet().value_or("") + std::string(cLine) + "\r\n");
    frame.line(__LINE__);
    LogView.Refresh();
    frame.line(__LINE__);
    LogView.GoBottom();
}

}  // namespace kadro
