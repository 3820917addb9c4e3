#pragma once
// A serial device held open for one owner: the serial kind of Line (platform/line.h), with the
// operations the serial port layer needs: a cancellable wait for received characters, the count
// of waiting bytes, a non-blocking read, a write that returns when the bytes have left, DTR, and
// line settings from a DCB.
//
// Contract:
// - SerialDevice::open() is the only way to get a device; it yields either an open device or
//   why it could not (SerialOpenFailure, platform/serial_open_failure.h), never a half-open
//   object, and prints nothing: the caller tells the operator. It fails for a missing path, a
//   path that is not a terminal, and a device that someone already holds: the open takes an
//   advisory lock (which also stops a second opener running as root) and sets exclusive
//   mode (which stops other unprivileged openers). A symbolic link (a /dev/serial/by-id name)
//   is followed at every open, and the lock is the device's, whichever name opened it. A
//   legacy UART the kernel reports without hardware (serial core type "unknown") is refused
//   before it is opened (kNoHardware): it would open and then carry nothing.
// - The device is put into raw mode at open (no echo, no translation, no flow control, its
//   speed kept), so that bytes received before any line settings are not held back or echoed.
// - wait_for_input() blocks without a time limit until input, hang-up, interrupt() or cancel()
//   (platform/line.h); both may be called from any thread, and cancel() makes every later wait
//   return at once as well.
// - read() never blocks. When the device has failed for good, read() and wait_for_input() can
//   say why (ReadFailure): hung up or failed, with the system's own text for it (strerror on
//   POSIX, FormatMessage on Windows; empty for a line that simply ended).
// - write() blocks until every byte was taken and drained, or returns early with the count
//   taken so far and the reason: the line hung up, the device failed (with the system's text),
//   or cancel() was called (a failure). A line that takes no byte at all for stall_limit()
//   (a far end that no longer reads; 10 s unless set) counts as stalled: the bytes still queued
//   are dropped and the count that left is returned. The limit runs from the last byte that
//   moved, not from the start, so a slow line that keeps moving is waited for however long the
//   write takes; a real line at any speed moves a byte in milliseconds.
// - Failures of raise_dtr() are ignored by design (pseudo-terminals have no modem lines); the
//   queue-size recommendation is only recorded because terminals have no such setting.
// - Device names: "\\.\" prefixes are dropped; COM1..COM256 name /dev/ttyS0../dev/ttyS255; an
//   absolute path is used as it is; any other name is looked up under /dev. The name is the
//   program's text and reaches the file system as platform/text.h describes.
// - Windows: the device is the system's own ("\\.\" + name, the prefix added when missing),
//   opened without sharing and for overlapped I/O; a failure carries the system's error code
//   instead of an errno, and a port held by another program reports access denied (kInUse). The
//   line settings of the record are applied unchanged. raise_dtr() failing is normal on a port
//   emulated over a pseudo-terminal. wait_for_input() takes the first received byte into the device
//   object (a one-byte read is the wait), and waiting() and read() count and return it first.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/line.h"
#include "platform/serial_open_failure.h"
#include "platform/serial_settings.h"

namespace platform {

// Maps a port name as the settings file gives it to a device path.
std::string SerialDevicePath(std::string_view name);

class SerialDevice final : public Line {
  public:
    // Result of open(): an open device, or why there is none.
    class OpenResult;

    static OpenResult open(std::string_view name);

    SerialDevice(SerialDevice&& other) noexcept = default;
    SerialDevice& operator=(SerialDevice&& other) noexcept = default;
    SerialDevice(const SerialDevice&) = delete;
    SerialDevice& operator=(const SerialDevice&) = delete;
    ~SerialDevice() = default;

    const std::string& path() const { return m_path; }

    void recommend_queue_sizes(std::uint16_t input, std::uint16_t output) override;

    // Raises DTR; false when the device has no modem lines (callers ignore it).
    bool raise_dtr() override;

    // On HungUp, *failure (when given) says why.
    InputWait wait_for_input(ReadFailure* failure = nullptr) const override;
    // Blocks until cancel() was called (used once the device has failed for good).
    void wait_for_cancel() const;

    // Bytes waiting in the driver's input queue; 0 on failure.
    std::size_t waiting() const override;
    // Reads at most `size` bytes without blocking. Returns the count, 0 when nothing waits,
    // -1 when the device has failed (end of file or an I/O error); then *failure, when given,
    // says why.
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t size,
                        ReadFailure* failure = nullptr) const override;
    // See the file comment.
    WriteResult write(const std::uint8_t* data, std::size_t size) const override;

    bool apply(const DCB& dcb) override;

  private:
    // The device as each system holds it (descriptors, handles, a pending read), defined in
    // that system's serial_device_<system>.cpp; it closes what it holds when destroyed.
    struct State;
    struct StateDeleter {
        void operator()(State* state) const noexcept;
    };

    SerialDevice(CancelSignalsPointer signals, std::unique_ptr<State, StateDeleter> state,
                 std::string path)
        : Line(std::move(signals)), m_state(std::move(state)), m_path(std::move(path)) {}

    std::unique_ptr<State, StateDeleter> m_state;
    std::string m_path;
};

class SerialDevice::OpenResult {
  public:
    explicit OpenResult(SerialDevice device) : m_value(std::move(device)) {}
    explicit OpenResult(SerialOpenFailure failure) : m_value(std::move(failure)) {}

    bool ok() const { return std::holds_alternative<SerialDevice>(m_value); }
    // The system's code of the failed step (errno on POSIX); 0 on success.
    int error() const { return ok() ? 0 : static_cast<int>(failure().error); }
    // Why the open failed; only valid when !ok().
    const SerialOpenFailure& failure() const { return std::get<SerialOpenFailure>(m_value); }
    // Moves the device out; only valid when ok().
    SerialDevice take() { return std::move(std::get<SerialDevice>(m_value)); }

  private:
    std::variant<SerialDevice, SerialOpenFailure> m_value;
};

}  // namespace platform
