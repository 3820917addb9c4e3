#pragma once
// Serial ports for the application: open and close, the reader thread that fills each port's
// 2048-byte receive ring and announces new bytes to a window, line settings from a mode string,
// and data transfer. A port's line is a serial device or a TCP connection (platform/line.h).
//
// Contract:
// - Every function is called on the interface thread. A port is named by a PortHandle: a small
//   non-negative integer from OPENCOMM, valid until CLOSECOMM; -1 means the open failed.
//   Handles are not reused while the process keeps finding free ones.
// - OPENCOMM opens the line ("\\.\" + port name; a "tcp:" or "tcp-listen:" name is a TCP line,
//   platform/tcp_line.h; any other a serial device, platform/serial_device.h, for the name
//   mapping) for this process alone, records the queue-size recommendation (low 16 bits of each
//   size), raises DTR (failure ignored) and starts the port's reader thread. Any failure gives
//   -1 with no thread left running and the device closed; GetCommOpenFailure (comm/open_failure.h)
//   then says why.
// - The reader thread takes at most 1023 bytes a cycle into the ring. While a window is
//   registered (ENABLECOMMNOTIFICATION with a non-zero hWnd) it sends that window WM_COMMNOTIFY
//   (wParam = the PortHandle, lParam = 1) synchronously after each cycle that stored bytes, and
//   waits until the window's procedure has run. Bytes stored while no window is registered stay
//   in the ring and are returned by the next READCOMM; when a window registers while the ring
//   holds bytes no window was told of, the reader thread sends it WM_COMMNOTIFY for them at
//   once, the same way, without waiting for a further byte.
// - No received byte is ever overwritten: with 2047 unread bytes in the ring the reader thread
//   announces what it has and waits for READCOMM to make room; meanwhile newer bytes stay in
//   the driver's input queue.
// - A device that fails for good (hang-up, I/O error) makes the reader thread record the fault
//   in the port (see GetCommLineFault), announce it with one WM_COMMNOTIFY to the registered
//   window (or, when none is registered, to the next window that registers), and then sleep
//   until CLOSECOMM; it never spins. WRITECOMM then returns at once with the count the device
//   took.
// - A write that does not complete (hang-up, device error, or a line that takes no byte for
//   10 s; see platform/serial_device.h) is recorded in the port the same way; the first fault
//   recorded stays.
// - CLOSECOMM always returns true. It withdraws a notification the reader thread is waiting to
//   deliver, wakes and joins the thread, and closes the device. Once it has returned, no
//   WM_COMMNOTIFY for that port is delivered and nothing of the port is touched. It may also be
//   called from within the port's own notification handler.
// - READCOMM copies unread bytes, oldest first, into the first bytes of cBuffer without
//   changing its length or allocating; it never waits and returns 0 for an empty ring.
//   WRITECOMM returns once every byte has left the driver, or early with the count actually
//   written when the device fails. Both handle at most 32767 bytes a call.
// - BUILDCOMMDCB stores the 28-byte line-settings record for cMode into cDcb and returns true,
//   or stores "" and returns false for a malformed mode. SETCOMMSTATE applies such a record and
//   returns false when the record or the device refuses it.
// - ReadyCommForNextSession readies a port for the next session once the remote machine has
//   ended one ("E"). A line that serves one connection after another (a TCP listener) closes
//   the connection served, drops what it left unread and its fault, and listens again; the
//   reader thread accepts the next connection when it comes, for the window registered before.
//   Any other line is left as it is: the next session comes on the same line. True when the port
//   can serve another session; false for a handle naming no port, a line that has failed
//   (GetCommLineFault says why), and a listener that cannot listen again (its fault then says
//   why). Not from within the port's own notification handler.
// - A line without line settings (TCP) takes any record SETCOMMSTATE gives it.
// - A handle that names no open port is harmless: READCOMM and WRITECOMM return 0,
//   SETCOMMSTATE false, ENABLECOMMNOTIFICATION and CLOSECOMM true.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/line.h"
#include "platform/types.h"

namespace kadro {

using PortHandle = std::int32_t;

constexpr std::int64_t kDefaultInQueue = 1024;
constexpr std::int64_t kDefaultOutQueue = 128;

PortHandle OPENCOMM(std::string_view cName, std::int64_t nInQueue = kDefaultInQueue,
                    std::int64_t nOutQueue = kDefaultOutQueue);
// The trigger counts are accepted and have no effect.
bool ENABLECOMMNOTIFICATION(PortHandle nPortHandle, platform::HWND hWnd,
                            std::int64_t nInTrigger = 0, std::int64_t nOutTrigger = 0);
bool CLOSECOMM(PortHandle nPortHandle);

bool BUILDCOMMDCB(std::string_view cMode, std::string& cDcb);
bool SETCOMMSTATE(PortHandle nPortHandle, std::string_view cDcb);
std::int16_t READCOMM(PortHandle nPortHandle, std::string& cBuffer);
std::int16_t WRITECOMM(PortHandle nPortHandle, std::string_view cData);

bool ReadyCommForNextSession(PortHandle nPortHandle);

// Inspection of an open port, for diagnostics and tests; nullopt for a handle naming no port.
struct CommQueueSizes {
    std::uint16_t input = 0;
    std::uint16_t output = 0;
};
std::optional<CommQueueSizes> GetCommQueueSizes(PortHandle nPortHandle);
// Sets how long a write waits for a line that takes no byte (10 s at open); false for a handle
// naming no port.
bool SetCommStallLimit(PortHandle nPortHandle, std::chrono::milliseconds limit);

// Why a port stopped working, as far as it has: the kind and the system's text for it (may be
// empty). nullopt while the port works, and for a handle naming no port.
struct CommLineFault {
    platform::LineFault kind = platform::LineFault::kNone;
    std::string reason;
};
std::optional<CommLineFault> GetCommLineFault(PortHandle nPortHandle);

// The TCP port a listening line listens on (the system's choice when it was named with port 0);
// nullopt for other lines and for a handle naming no port.
std::optional<std::uint16_t> GetCommListenPort(PortHandle nPortHandle);

struct CommRingPositions {
    std::int16_t write = 0;
    std::int16_t read = 0;
};
std::optional<CommRingPositions> GetCommRingPositions(PortHandle nPortHandle);

}  // namespace kadro
