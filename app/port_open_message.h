#pragma once
// What the operator is told when the configured port will not open: enough to put it right
// without help, since the program ends after it.
//
// PortOpenFailureMessage(cPort, failure, ports, cSettingsFile) is the pop-up's text, in the
// program's code page, its lines separated by ';' (POPMSG's line break):
//  - the first line is the port set-up's own: "Errore di apertura della porta di comunicazione
//    (" + cPort + ").";
//  - the device that was tried (failure.device);
//  - why, in plain words, and what to do: not there (the adapter unplugged); in use by another
//    program; no permission (with the group that owns the device: the command that puts the
//    user in it, then logging out and in again); a legacy port without hardware; not a serial
//    device; otherwise the system's own text for failure.error;
//  - where to write the port: the settings file's full path, cSettingsFile; "" when the port
//    was named on kadro-serve's command line, which is then where to name another;
//  - last, as the least needed when a small screen cuts the box short, the ports this computer
//    has (`ports`, as platform/serial_port_list.h lists them): at most eight, each with its
//    device when the name is another (a stable link), else its label, then how many more there
//    are and the command that lists them all (kadro's, or kadro-serve's when cSettingsFile is
//    ""); or that there is none.
// The texts of `failure` and `ports` are UTF-8 and appear in the code page ('?' for a character
// it lacks); cPort and cSettingsFile are program text and appear as they are.
//
// TerminalText(cText): cText as standard error shows it: POPMSG's text preparation (';' a line
// break), in UTF-8, with line feeds, ending in one.
//
// Neither fails, except std::bad_alloc.

#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_open_failure.h"
#include "platform/serial_port_list.h"

namespace kadro {

inline constexpr std::size_t kPortsInMessage = 8;

std::string PortOpenFailureMessage(std::string_view cPort,
                                   const platform::SerialOpenFailure& failure,
                                   const std::vector<platform::SerialPortEntry>& ports,
                                   std::string_view cSettingsFile);

std::string TerminalText(std::string_view cText);

}  // namespace kadro
