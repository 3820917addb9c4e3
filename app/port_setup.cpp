#include "app/port_setup.h"

#include <cstdio>
#include <optional>

#include "app/module_state.h"
#include "app/port_open_message.h"
#include "app/protocol.h"
#include "app/serving_events.h"
#include "app/settings.h"
#include "comm/open_failure.h"
#include "platform/display.h"
#include "platform/serial_port_list.h"
#include "platform/tcp_line.h"
#include "support/error_handler.h"
#include "support/message_popup.h"
#include "ui/dialog.h"

namespace kadro {
namespace {

constexpr std::int64_t kQueueBytes = 16384;
constexpr std::size_t kReceiveBytes = 1000;

// A failed step: the operator's message and, for the observers, the step in English. A port
// that does not open is the one failure the operator can always put right, and often alone: its
// message says what was tried, why it failed and what exists instead, and standard error gets it
// too, where a start from the desktop menu leaves it in the session's log.
struct SetUpFailure {
    std::string message;
    const char* step;
    bool also_on_standard_error = false;
};

[[noreturn]] void fail(std::optional<SetUpFailure>& failure, const std::string& text,
                       const std::string& cPort, const char* step) {
    failure = SetUpFailure{text + " (" + cPort + ").", step};
    BREAK();
}

}  // namespace

PortHandle APRICOM(TDialog& oDlg, const std::string& cPort) {
    ApplicationFrame frame("APRICOM");
    PortHandle nPortHandle = -1;
    std::optional<SetUpFailure> failure;
    bool completed = RunGuarded([&] {
        frame.line(__LINE__);
        nPortHandle = OPENCOMM("\\\\.\\" + cPort, kQueueBytes, kQueueBytes);
        if (nPortHandle < 0) {
            failure = SetUpFailure{
                PortOpenFailureMessage(
                    cPort, GetCommOpenFailure().value_or(platform::SerialOpenFailure{}),
                    platform::ListSerialPorts(),
                    MainModule().PortFromCommandLine ? "" : SettingsFileFullPath(kSettingsFile)),
                "cannot be opened", true};
            BREAK();
        }
        frame.line(__LINE__);
        std::string cDcb;
        if (!BUILDCOMMDCB(protocol::kLineMode, cDcb)) {
            fail(failure, "Errore di impostazione dei parametri di comunicazione", cPort,
                 "line settings refused");
        }
        frame.line(__LINE__);
        if (!SETCOMMSTATE(nPortHandle, cDcb)) {
            fail(failure, "Errore di impostazione della porta di comunicazione", cPort,
                 "port refused the line settings");
        }
        frame.line(__LINE__);
        TDialog* dialog = &oDlg;
        oDlg.bCommNotify = [dialog](platform::WPARAM wParam, platform::LPARAM) {
            auto h = static_cast<PortHandle>(wParam);
            CONNECT(h);
            return EventResult(ENABLECOMMNOTIFICATION(h, dialog->window(), 1, -1));
        };
        frame.line(__LINE__);
        if (!ENABLECOMMNOTIFICATION(nPortHandle, oDlg.window(), 1, -1)) {
            fail(failure, "Errore di abilitazione della notifica", cPort, "notification refused");
        }
    });
    frame.line(__LINE__);
    // A TCP line has no device node: it is named as written, with the port a listener got (the
    // system's choice for port 0).
    std::string device =
        platform::IsTcpLineName(cPort) ? cPort : platform::SerialDevicePath("\\\\.\\" + cPort);
    if (const auto port = GetCommListenPort(nPortHandle)) {
        device += " (port " + std::to_string(*port) + ")";
    }
    Notify(&ServingObserver::on_port,
           {.name = cPort,
            .device = device,
            .settings = protocol::kLineMode,
            .failure = completed ? std::nullopt
                       : failure ? std::optional<std::string_view>(failure->step)
                                 : "set-up broken off by an error"});
    if (completed) {
        return nPortHandle;
    }
    // A break from the error handler has told the operator already.
    if (failure) {
        if (failure->also_on_standard_error &&
            !platform::CurrentDisplay().boxes_reach_standard_error()) {
            std::fputs(TerminalText(failure->message).c_str(), stderr);
        }
        POPMSG(failure->message, 1);
    }
    frame.line(__LINE__);
    if (nPortHandle >= 0) {
        CLOSECOMM(nPortHandle);
    }
    return -1;
}

void CONNECT(PortHandle nPortHandle) {
    ApplicationFrame frame("CONNECT");
    frame.line(__LINE__);
    ENABLECOMMNOTIFICATION(nPortHandle, 0, 1, -1);
    frame.line(__LINE__);
    MainModule().InputBuffer += RECEIVESTR(nPortHandle);
}

std::string RECEIVESTR(PortHandle nPortHandle) {
    ApplicationFrame frame("RECEIVESTR");
    frame.line(__LINE__);
    std::string cBuffer(kReceiveBytes, ' ');
    std::int16_t n = READCOMM(nPortHandle, cBuffer);
    frame.line(__LINE__);
    cBuffer.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return cBuffer;
}

}  // namespace kadro
