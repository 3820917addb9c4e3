#include "app/command_loop.h"

#include <algorithm>
#include <chrono>

#include "app/crc32.h"
#include "app/module_state.h"
#include "app/port_setup.h"
#include "app/protocol.h"
#include "app/serving_events.h"
#include "platform/types.h"
#include "support/error_handler.h"
#include "support/message_popup.h"
#include "ui/dialog.h"
#include "ui/message_pump.h"
#include "ui/multi_get.h"

namespace kadro {
namespace {

// Longest rest between two polls of the wait. A received byte, a window message and a change of
// the key state end the rest at once, so the bound is only a guard.
constexpr std::chrono::milliseconds kLongestRest{std::chrono::hours(1)};

// A line fault in the log's words (English) and the operator's (Italian, in the code page).
struct FaultWords {
    std::string log;
    std::string operator_text;
};

FaultWords describe(const std::optional<CommLineFault>& fault) {
    const std::string seconds = std::to_string(
        std::chrono::duration_cast<std::chrono::seconds>(platform::Line::kDefaultStallLimit)
            .count());
    FaultWords words;
    switch (fault ? fault->kind : platform::LineFault::kFailed) {
        case platform::LineFault::kHungUp:
            words = {"the line was hung up (far end closed or device removed)",
                     "la linea \xE8 stata chiusa dall'altro capo o il dispositivo \xE8 stato "
                     "rimosso"};
            break;
        case platform::LineFault::kStalled:
            words = {"the line took no data for " + seconds + " seconds",
                     "la linea non accetta dati da " + seconds + " secondi"};
            break;
        case platform::LineFault::kNone:
        case platform::LineFault::kFailed:
            words = {"the port failed", "errore della porta"};
            break;
    }
    if (fault && !fault->reason.empty()) {
        words.log += " (" + fault->reason + ")";
        words.operator_text += " (" + fault->reason + ")";
    }
    return words;
}

// The port's fault in words, announced to the observers before anyone is told.
FaultWords announced_fault(PortHandle nPortHandle) {
    const std::optional<CommLineFault> fault = GetCommLineFault(nPortHandle);
    FaultWords words = describe(fault);
    Notify(&ServingObserver::on_line_fault,
           {.kind = fault ? fault->kind : platform::LineFault::kFailed,
            .reason = fault ? std::string_view(fault->reason) : std::string_view(),
            .description = words.log});
    return words;
}

// Serving cannot go on: the log says why, the operator is told, and the window is asked to end.
void stop_serving(TMultiGet& LogView, const std::string& cLogLine, const std::string& cText) {
    MESSAGE(LogView, cLogLine);
    POPMSG(cText, 1);
    if (auto* dialog = dynamic_cast<TDialog*>(LogView.oWnd)) {
        dialog->End();
    }
}

std::string sector_range(int first, std::string_view separator) {
    return std::to_string(first) + std::string(separator) +
           std::to_string(first + protocol::kSectorsPerTrack - 1);
}

}  // namespace

ServingEnd KADRO(PortHandle nPortHandle, TMultiGet& LogView) {
    ApplicationFrame frame("KADRO");
    for (;;) {
        frame.line(__LINE__);
        if (GETASYNCKEYSTATE(platform::VK_ESCAPE)) {
            return ServingEnd::kStopped;
        }
        MESSAGE(LogView, "Waiting command (ESC to exit)...");
        for (;;) {
            frame.line(__LINE__);
            std::optional<std::string> cCommand = WAITCOMMAND(nPortHandle);
            if (GETASYNCKEYSTATE(platform::VK_ESCAPE)) {
                frame.line(__LINE__);
                Notify(&ServingObserver::on_stop_byte,
                       SENDSTR(nPortHandle, std::string(1, protocol::kStopByte)));
                break;  // back to the first test, which ends the loop while Escape is held
            }
            if (cCommand == std::string{protocol::kTrackRequest}) {
                frame.line(__LINE__);
                const int first = MainModule().SectorCounter;
                if (!TRK(nPortHandle, LogView)) {
                    // A track cut short must not be followed by the next one: the remote
                    // machine would take it for the rest of this one.
                    FaultWords why = announced_fault(nPortHandle);
                    stop_serving(LogView,
                                 "Sectors " + sector_range(first, " to ") +
                                     " not sent: " + why.log + ". Serving stopped.",
                                 "Settori " + sector_range(first, " - ") + " non inviati:;" +
                                     why.operator_text + ".;;L'invio \xE8 terminato.");
                    return ServingEnd::kLineLost;
                }
            } else if (cCommand == "" && GetCommLineFault(nPortHandle)) {
                frame.line(__LINE__);
                LINELOST(nPortHandle, LogView);
                return ServingEnd::kLineLost;
            } else if (cCommand == std::string{protocol::kEndOfService}) {
                frame.line(__LINE__);
                Notify(&ServingObserver::on_end_request);
                if (auto* dialog = dynamic_cast<TDialog*>(LogView.oWnd)) {
                    dialog->End();
                }
                return ServingEnd::kEndOfService;
            }
        }
    }
}

std::optional<std::string> WAITCOMMAND(PortHandle nPortHandle) {
    ApplicationFrame frame("WAITCOMMAND");
    std::optional<std::string> cCommand;
    for (;;) {
        frame.line(__LINE__);
        if (GETASYNCKEYSTATE(platform::VK_ESCAPE)) {
            break;
        }
        cCommand = GETCHAR();
        if (!cCommand->empty()) {
            Notify(&ServingObserver::on_command, cCommand->front());
            break;
        }
        SYSREFRESH();
        if (MainModule().InputBuffer.empty() && GetCommLineFault(nPortHandle)) {
            // Bytes that came before the fault are still commands; only then is the wait over.
            MainModule().InputBuffer += RECEIVESTR(nPortHandle);
            if (MainModule().InputBuffer.empty()) {
                break;
            }
            continue;
        }
        // Polling without a pause would keep a processor busy for the whole run.
        if (MainModule().InputBuffer.empty()) {
            Notify(&ServingObserver::on_wait);
            WaitForMessage(kLongestRest);
        }
    }
    frame.line(__LINE__);
    SYSREFRESH();
    return cCommand;
}

std::string GETCHAR() {
    ApplicationFrame frame("GETCHAR");
    frame.line(__LINE__);
    ByteQueue& input = MainModule().InputBuffer;
    if (input.empty()) {
        return {};
    }
    return std::string(1, input.take_front());
}

bool TRK(PortHandle nPortHandle, TMultiGet& LogView) {
    ApplicationFrame frame("TRK");
    const auto start = std::chrono::steady_clock::now();
    MainModuleState& state = MainModule();
    const int last_sector = state.SectorCounter + protocol::kSectorsPerTrack - 1;
    const std::size_t count = std::min(protocol::kTrackBytes, state.TrackImage.size());
    const std::string_view track = std::string_view(state.TrackImage).substr(0, count);
    // The request is answered before its log line is added, which costs more the longer the
    // log grows. No screen shows the difference: the line is drawn in the pause either way.
    frame.line(__LINE__);
    bool sent = SENDSTR(nPortHandle, std::string(1, protocol::kLeadIn));
    frame.line(__LINE__);
    MESSAGE(LogView, "Sending sectors " + std::to_string(state.SectorCounter) + " to " +
                         std::to_string(last_sector));
    if (sent) {
        frame.line(__LINE__);
        SLEEP(static_cast<int>(protocol::kLeadInPause.count()));
        frame.line(__LINE__);
        sent = SENDSTR(nPortHandle, track);
    }
    const auto done = std::chrono::steady_clock::now();
    frame.line(__LINE__);
    if (ServingObserved()) {
        Notify(&ServingObserver::on_track,
               {.index = (state.SectorCounter + 1) / protocol::kSectorsPerTrack,
                .first_sector = state.SectorCounter,
                .last_sector = last_sector,
                .bytes = count,
                .crc32 = Crc32(track),
                .elapsed = std::chrono::duration_cast<std::chrono::microseconds>(done - start),
                .complete = sent});
    }
    if (!sent) {
        return false;
    }
    frame.line(__LINE__);
    state.TrackImage.erase(0, count);
    state.SectorCounter += protocol::kSectorsPerTrack;
    return true;
}

void LINELOST(PortHandle nPortHandle, TMultiGet& LogView) {
    ApplicationFrame frame("LINELOST");
    frame.line(__LINE__);
    FaultWords why = announced_fault(nPortHandle);
    stop_serving(LogView, "Line lost: " + why.log + ". Serving stopped.",
                 "Collegamento con la macchina remota perso:;" + why.operator_text +
                     ".;;L'invio \xE8 terminato.");
}

bool SENDSTR(PortHandle nPortHandle, std::string_view cData) {
    ApplicationFrame frame("SENDSTR");
    frame.line(__LINE__);
    Notify(&ServingObserver::on_wait);
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
