#pragma once
// The command loop and the wire protocol with the remote machine.
//
// KADRO(h, LogView) serves until the remote machine sends "E" or the operator holds Escape:
//   "T" (0x54)  -> log "Sending sectors F to L", send 0x00, pause 10 ms, send the next (up to)
//                  4608 bytes of TrackImage and drop them from it; SectorCounter += 18.
//   "E" (0x45)  -> nothing is sent; the log view's dialog is asked to end; the loop returns.
//   other bytes -> taken and dropped, no log line.
//   Escape held at a poll -> the stop byte 0x09 is sent; if it is still held at the next poll
//                  the loop returns, otherwise "Waiting command (ESC to exit)..." is logged again.
// Escape is polled only at the start of KADRO, before each byte is taken in WAITCOMMAND, and
// right after WAITCOMMAND returns. Every log line ends in CR LF. Results of writes are ignored:
// the image advances whatever the line did.
//
// WAITCOMMAND() returns the byte taken, "" when Escape ended the wait after the first poll, and
// nullopt when Escape was down at the first poll. Between polls it pumps window messages (which
// is how received bytes reach InputBuffer) and rests until a message, a notification or a change
// of the key state arrives, so that it does not keep a processor busy while nothing happens.
//
// Interface thread only.

#include <optional>
#include <string>
#include <string_view>

#include "comm/serial_port.h"

namespace kadro {

class TMultiGet;

void KADRO(PortHandle nPortHandle, TMultiGet& LogView);
std::optional<std::string> WAITCOMMAND();
std::string GETCHAR();
void TRK(PortHandle nPortHandle, TMultiGet& LogView);
bool SENDSTR(PortHandle nPortHandle, std::string_view cData);
void MESSAGE(TMultiGet& LogView, std::string_view cLine);

}  // namespace kadro
