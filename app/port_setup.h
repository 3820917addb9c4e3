#pragma once
// The port set-up of the main window and the receive path.
//
// APRICOM(oDlg, cPort) opens "\\.\" + cPort (queues of 16384 bytes recommended), applies
// "57600,N,8,1", installs oDlg.bCommNotify and registers oDlg's window for notifications. It
// returns the PortHandle, or -1 after telling the operator, in one pop-up naming the port, which
// step failed; a port it opened is closed again then. A break raised by the error handler
// inside the set-up ends in the same recovery. The outcome (the device, the line settings, the
// failed step) is announced to the serving observers (app/serving_events.h) before the pop-up.
//
// The notification callback drains the port: CONNECT (notification off, up to 1000 waiting
// bytes appended to InputBuffer), then notification on again for the dialog's window.
//
// Interface thread only.

#include <string>

#include "comm/serial_port.h"

namespace kadro {

class TDialog;

PortHandle APRICOM(TDialog& oDlg, const std::string& cPort);
void CONNECT(PortHandle nPortHandle);
std::string RECEIVESTR(PortHandle nPortHandle);

}  // namespace kadro
