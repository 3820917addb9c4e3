#include "app/main_program.h"

#include <filesystem>
#include <memory>
#include <new>
#include <optional>
#include <system_error>

#include "app/command_loop.h"
#include "app/image_preparation.h"
#include "app/main_window.h"
#include "app/module_state.h"
#include "app/port_setup.h"
#include "app/protocol.h"
#include "app/serving_events.h"
#include "app/settings.h"
#include "app/wire_trace.h"
#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/text.h"
#include "platform/types.h"
#include "platform/window.h"
#include "support/close_confirmation.h"
#include "support/error_handler.h"
#include "support/message_popup.h"
#include "support/program_lifecycle.h"
#include "ui/dialog.h"
#include "ui/file_chooser.h"
#include "ui/message_pump.h"
#include "ui/multi_get.h"

namespace kadro {
namespace {

constexpr const char* kMakersNotice = "- disk image server";

// The process's current directory as an absolute path without a trailing separator.
std::string start_directory() {
    std::error_code ec;
    std::filesystem::path current = std::filesystem::current_path(ec);
    if (ec) {
        return {};
    }
    std::string text = current.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

// A chosen path as the operator's code page shows it: the chooser hands back a path with a
// character beyond 255 in UTF-8.
std::string display_path(const std::string& path) {
    return platform::Utf16ToAnsi(platform::Utf8ToUtf16(platform::TextToUtf8(path)));
}

// The run's trace. It outlives MAIN, because the end of the run reaches it from the exit
// procedures.
struct RunTrace {
    std::unique_ptr<WireTrace> trace;
    ServingObservation observation;
};

std::optional<RunTrace>& run_trace() {
    static std::optional<RunTrace> trace;
    return trace;
}

// Starts the trace named by the options or the settings file, when one is and the run has none
// yet (a program that serves again in the same run keeps one trace); false after telling the
// operator that it cannot be written.
bool start_trace(const std::optional<std::string>& cTraceFile) {
    if (!cTraceFile || run_trace()) {
        return true;
    }
    WireTraceOpen opened = WireTrace::Open(*cTraceFile);
    if (!opened.trace) {
        POPMSG("Impossibile scrivere il file di traccia " + display_path(*cTraceFile) + ":;" +
                   opened.reason + ".;;L'invio non \xE8 stato avviato.",
               1);
        return false;
    }
    RunTrace& slot = run_trace().emplace();
    slot.trace = std::move(opened.trace);
    slot.observation = ObserveServing(*slot.trace);
    return true;
}

// A window whose end was refused (F4 held) stays open after serving; a line lost then must
// still reach the operator. A fault already known was told by the command loop.
void watch_line_after_serving(TDialog& oDlg, TMultiGet& LogView, PortHandle nPortHandle) {
    if (GetCommLineFault(nPortHandle) || !platform::IsWindowVisible(oDlg.window())) {
        return;
    }
    auto drain = oDlg.bCommNotify;
    oDlg.bCommNotify = [drain, &oDlg, &LogView, nPortHandle, told = false](
                           platform::WPARAM wParam, platform::LPARAM lParam) mutable {
        EventResult result = drain ? drain(wParam, lParam) : EventResult{};
        if (!told && GetCommLineFault(nPortHandle)) {
            told = true;
            LINELOST(nPortHandle, LogView);
            // The notification arrives while the dialog's loop waits for input, and the end
            // request has already pumped the message that would have woken it.
            platform::PostMessage(oDlg.window(), platform::WM_NULL, 0, 0);
        }
        return result;
    };
}

// Reads and prepares the image into TrackImage, as at the start of a run: false after telling
// the operator that the file cannot be read.
bool prepare_image(const std::string& cImageFile) {
    try {
        TrackImageRead read = ReadTrackImage(
            cImageFile, ServingObserved() ? FileChecksum::kWhole : FileChecksum::kSkip);
        Notify(
            &ServingObserver::on_image,
            {.path = cImageFile,
             .failure =
                 read.failure ? std::optional<std::string_view>(*read.failure) : std::nullopt,
             .file_bytes = read.file_bytes,
             .file_crc32 = read.file_crc32,
             .tracks = (read.TrackImage.size() + protocol::kTrackBytes - 1) / protocol::kTrackBytes,
             .track_image_bytes = read.TrackImage.size()});
        if (read.failure) {
            // Serving an unreadable file as an empty disk would look like success to the
            // operator and to the remote machine alike.
            POPMSG("Impossibile leggere l'immagine " + display_path(cImageFile) + ":;" +
                       *read.failure + ".",
                   1);
            return false;
        }
        MainModule().TrackImage = std::move(read.TrackImage);
    } catch (const std::bad_alloc&) {
        RaiseRuntimeError(MakeOutOfMemoryError("MEMOREAD"));
        return false;
    }
    return true;
}

// The command loop, once, or session after session when `again`: each "E" is followed by the
// image prepared afresh and the line readied for the next remote session.
RunOutcome serve_sessions(PortHandle nPortHandle, TMultiGet& LogView, const std::string& cImageFile,
                          bool again) {
    for (;;) {
        const ServingEnd end = KADRO(nPortHandle, LogView);
        if (end == ServingEnd::kLineLost) {
            return RunOutcome::kLineLost;
        }
        if (end == ServingEnd::kStopped || !again) {
            return RunOutcome::kEnded;
        }
        // A service serves session after session: the log starts afresh with each, once the
        // screen has had a rest in which to show the finished one, so that it does not grow
        // (and every line appended copy it) for as long as the service runs.
        WaitForMessage(std::chrono::milliseconds(0));
        LogView.VarPut("");
        LogView.Refresh();
        MainModule().SectorCounter = -1;
        if (!prepare_image(cImageFile)) {
            return RunOutcome::kImageUnreadable;
        }
        // The next session may come on another connection (a listening TCP line); what the last
        // peer left untaken is not the next one's.
        if (GetCommListenPort(nPortHandle)) {
            MainModule().InputBuffer = ByteQueue();
        }
        if (!ReadyCommForNextSession(nPortHandle)) {
            LINELOST(nPortHandle, LogView);
            return RunOutcome::kLineLost;
        }
    }
}

}  // namespace

std::string MainCaption(const std::string& cPort) {
    return std::string("KADRO 1.00 ") + kMakersNotice + "  (" + cPort + ":" +
           std::string(protocol::kLineMode) + ")";
}

RunOutcome MAIN(const ProgramOptions& options) {
    ApplicationFrame frame("MAIN");
    frame.line(__LINE__);
    std::string cStartDir = start_directory();
    frame.line(__LINE__);
    std::string cImageFile = options.image
                                 ? *options.image
                                 : ChosenPath(CGETFILE({.cFilter = "File VKS (*.vks)|*.vks",
                                                        .cTitle = "Seleziona immagine da inviare",
                                                        .cInitDir = cStartDir}));
    std::string cLogText;
    frame.line(__LINE__);
    std::string cPort =
        options.port ? *options.port : GETPVPROFSTRING("Impostazioni", "Porta", "", kSettingsFile);
    frame.line(__LINE__);
    MainModule().PortFromCommandLine = options.port.has_value();
    std::optional<std::string> cTraceFile = options.trace_file;
    if (!cTraceFile) {
        std::string cEntry = GETPVPROFSTRING("Impostazioni", "Traccia", "", kSettingsFile);
        if (!platform::IsBlank(cEntry)) {
            cTraceFile = std::move(cEntry);
        }
    }
    if (platform::IsBlank(cImageFile)) {
        return RunOutcome::kEnded;
    }
    // A settings file that is there but cannot be read hides the port the operator chose:
    // serving on COM1 instead could drive the wrong device, and writing COM1 would replace it.
    if (!options.port) {
        if (std::optional<std::string> problem = SettingsFileProblem(kSettingsFile)) {
            POPMSG(*problem, 1);
            return RunOutcome::kSettingsUnreadable;
        }
    }
    frame.line(__LINE__);
    if (!start_trace(cTraceFile)) {
        return RunOutcome::kTraceUnopenable;
    }
    frame.line(__LINE__);
    if (!prepare_image(cImageFile)) {
        return RunOutcome::kImageUnreadable;
    }
    frame.line(__LINE__);
    if (platform::IsBlank(cPort)) {
        if (!options.write_settings) {
            POPMSG(
                "Nessuna porta di comunicazione indicata:;manca Porta= nella sezione "
                "[Impostazioni] di KADRO.INI.",
                1);
            return RunOutcome::kNoPort;
        }
        cPort = "COM1";
        WRITEPPROSTRING("Impostazioni", "Porta", cPort, kSettingsFile);
    }

    frame.line(__LINE__);
    std::shared_ptr<TDialog> oDlg = NewMainDialog(MainCaption(cPort));
    frame.line(__LINE__);
    std::shared_ptr<TMultiGet> LogView =
        NewLogView([&cLogText](std::optional<std::string> value) -> std::string {
            if (value) {
                cLogText = std::move(*value);
            }
            return cLogText;
        });

    RunOutcome outcome = RunOutcome::kEnded;
    std::optional<PortHandle> nPortHandle;
    oDlg->bStart = [&] {
        // A negative handle reaches here only when the end after a failed set-up was refused
        // (F4 held); the command loop then has no port to serve, so the window just stays
        // open until the operator closes it.
        if (nPortHandle && *nPortHandle >= 0) {
            outcome = serve_sessions(*nPortHandle, *LogView, cImageFile, options.serve_again);
            watch_line_after_serving(*oDlg, *LogView, *nPortHandle);
        }
    };
    frame.line(__LINE__);
    TDialog* dialog = oDlg.get();
    ActivateMainDialog(
        *oDlg, *LogView, [dialog](TWindow&) { return VALID_(*dialog, false); },
        [&, dialog]() -> EventResult {
            nPortHandle = APRICOM(*dialog, cPort);
            dialog->bValid = [](TWindow&) { return !GETASYNCKEYSTATE(platform::VK_F4); };
            if (*nPortHandle < 0) {
                outcome = RunOutcome::kPortSetupFailed;
                return EventResult(dialog->End());
            }
            return {};
        });
    frame.line(__LINE__);
    if (nPortHandle && *nPortHandle >= 0) {
        CLOSECOMM(*nPortHandle);
    }
    if (run_trace() && run_trace()->trace->failure()) {
        POPMSG("La scrittura del file di traccia " + display_path(*cTraceFile) +
                   " si \xE8 interrotta:;" + *run_trace()->trace->failure() + ".",
               1);
    }
    return outcome;
}

void MAIN() {
    MAIN(ProgramOptions{});
}

RunOutcome RunProgramWithOutcome(const ProgramOptions& options) {
    run_trace().reset();
    ResetMainModule();
    ERRORSYS();
    RunStartupProcedures();
    // From the exit procedures, the end reaches the observers also when the error handler ends
    // the program.
    AddExitProcedure([] { Notify(&ServingObserver::on_end); });
    RunOutcome outcome = RunOutcome::kEnded;
    try {
        outcome = MAIN(options);
    } catch (const Break&) {
        // A break with no recovery point around it leaves MAIN; the run ends normally.
    }
    RunExitProcedures();
    run_trace().reset();
    return outcome;
}

int RunProgram(const ProgramOptions& options) {
    RunProgramWithOutcome(options);
    return 0;
}

}  // namespace kadro
