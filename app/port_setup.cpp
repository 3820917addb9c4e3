#include "app/port_setup.h"

#include <cstdio>

#include "app/module_state.h"
#include "app/port_open_message.h"
#include "app/protocol.h"
#include "app/settings.h"
#include "comm/open_failure.h"
#include "platform/serial_port_list.h"
#include "support/error_handler.h"
#include "support/message_popup.h"
#include "ui/dialog.h"

namespace kadro {
namespace {

constexpr std::int64_t kQueueBytes = 16384;
constexpr std::size_t kReceiveBytes = 1000;

[[noreturn]] void fail(const std::string& text, const std::string& cPort) {
    POPMSG(text + " (" + cPort + ").", 1);
    BREAK();
}

// The one failure the operator can always put right, and often alone: say what was tried, why
// it failed and what exists instead. Standard error gets it too, where a start from the desktop
// menu leaves it in the session's log.
[[noreturn]] void fail_to_open(const std::string& cPort) {
    const std::string text =
        PortOpenFailureMessage(cPort, GetCommOpenFailure().value_or(platform::SerialOpenFailure{}),
                               platform::ListSerialPorts(), SettingsFileFullPath(kSettingsFile));
    std::fputs(TerminalText(text).c_str(), stderr);
    POPMSG(text, 1);
    BREAK();
}

}  // namespace

PortHandle APRICOM(TDialog& oDlg, const std::string& cPort) {
    ApplicationFrame frame("APRICOM");
    PortHandle nPortHandle = -1;
    bool completed = RunGuarded([&] {
        frame.line(__LINE__);
        nPortHandle = OPENCOMM("\\\\.\\" + cPort, kQueueBytes, kQueueBytes);
        if (nPortHandle < 0) {
            fail_to_open(cPort);
        }
        frame.line(__LINE__);
        std::string cDcb;
        if (!BUILDCOMMDCB(protocol::kLineMode, cDcb)) {
            fail("Errore di impostazione dei parametri di comunicazione", cPort);
        }
        frame.line(__LINE__);
        if (!SETCOMMSTATE(nPortHandle, cDcb)) {
            fail("Errore di impostazione della porta di comunicazione", cPort);
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
            fail("Errore di abilitazione della notifica", cPort);
        }
    });
    if (completed) {
        return nPortHandle;
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
