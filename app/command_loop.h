#pragma once
// The command loop and the wire protocol with the remote machine.
//
// KADRO(h, LogView) serves until the remote machine sends "E" or the operator holds Escape:
//   "T" (0x54)  -> send 0x00, log "Sending sectors F to L", pause 10 ms, send the next (up to)
//                  4608 bytes of TrackImage and drop them from it; SectorCounter += 18. (The
//                  line is drawn in the pause, after the 0x00 has gone, whichever comes first.)
//   "E" (0x45)  -> nothing is sent; the log view's dialog is asked to end; the loop returns.
//   other bytes -> taken and dropped, no log line.
//   Escape held at a poll -> the stop byte 0x09 is sent; if it is still held at the next poll
//                  the loop returns, otherwise "Waiting command (ESC to exit)..." is logged again.
// Escape is polled only at the start of KADRO, before each byte is taken in WAITCOMMAND, and
// right after WAITCOMMAND returns. Every log line ends in CR LF.
//
// Serving stops when the line fails, so that no track follows one that was cut short:
//   a track request whose lead-in or data does not all go out (hang-up, device error, or a line
//   that took nothing for 10 s) -> after its "Sending sectors F to L" line the log says
//   "Sectors F to L not sent: <why>. Serving stopped.", an Italian pop-up (type 1) says the
//   same, the dialog is asked to end and the loop returns; the image and the counter stay.
//   a line found lost while waiting (the port reports a fault; bytes received before it are
//   still handled first) -> "Line lost: <why>. Serving stopped.", the pop-up, the end request,
//   and the loop returns.
// The stop byte's write is not checked: Escape ends serving either way.
// KADRO returns how serving ended: kEndOfService on "E", kStopped when Escape ended it (also
// when Escape was down before anything was served), kLineLost after either line failure above.
//
// WAITCOMMAND(h) returns the byte taken, "" when Escape ended the wait after the first poll or
// the port reported a fault with no byte left to take, and nullopt when Escape was down at the
// first poll. Between polls it pumps window messages (which
// is how received bytes reach InputBuffer) and rests until a message, a notification or a change
// of the key state arrives, so that it does not keep a processor busy while nothing happens.
//
// Every byte taken, every answer, the stop byte, "E", a line fault and each wait are announced
// to the serving observers (app/serving_events.h), from WAITCOMMAND, TRK, KADRO, SENDSTR and
// LINELOST.
//
// Interface thread only.

#include <optional>
#include <string>
#include <string_view>

#include "comm/serial_port.h"

namespace kadro {

class TMultiGet;

enum class ServingEnd { kEndOfService, kStopped, kLineLost };

ServingEnd KADRO(PortHandle nPortHandle, TMultiGet& LogView);
std::optional<std::string> WAITCOMMAND(PortHandle nPortHandle);
std::string GETCHAR();
// True when the lead-in and the track data all went out.
bool TRK(PortHandle nPortHandle, TMultiGet& LogView);
// The lost line told: "Line lost: <why>. Serving stopped." in the log, the Italian pop-up, and
// the log view's dialog asked to end.
void LINELOST(PortHandle nPortHandle, TMultiGet& LogView);
bool SENDSTR(PortHandle nPortHandle, std::string_view cData);
void MESSAGE(TMultiGet& LogView, std::string_view cLine);

}  // namespace kadro
