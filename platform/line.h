#pragma once
// A line to the remote machine, whatever carries its bytes: the operations the serial port
// layer's reader thread and writes need, met by a serial device (platform/serial_device.h) and
// by a TCP connection (platform/tcp_line.h).
//
// Contract:
// - OpenLine(name) is the one place a port name picks its kind of line: a name starting with
//   "tcp:" or "tcp-listen:" (letters in any case, after an optional "\\.\" prefix) is a TCP line,
//   any other a serial device. It yields an open line or the system's error code with the
//   system's own text for it, never a half-open line; the failure also carries what the
//   operator is told (`detail`: a serial device's own, kOther with the name for a TCP line). A
//   TCP line that listens says on standard error where it listens.
// - A line is a move-only object owned by one holder; destroying it closes what it holds.
// - Threads: one thread waits and reads (wait_for_input, waiting, read) while another writes;
//   cancel() and interrupt() may be called from any thread; the rest belongs to the owner while
//   neither of the other two runs.
// - wait_for_input() blocks without a time limit until input, hang-up, interrupt() or cancel();
//   cancel() makes every later wait return at once as well (until take_next_connection()).
//   interrupt() ends one wait only: the one running, or else the next to start (calls made
//   before that wait count as one). It lets the waiting thread look at something other than
//   the line without a time limit on its wait.
// - read() never blocks: the count, 0 when nothing waits, -1 when the line has failed for good
//   (then *failure says why, with the system's own text when it gave one).
// - write() blocks until every byte was taken, or returns early with the count that left and
//   the reason (hung up, failed with the system's text, or cancel(): a failure). A line that
//   takes no byte for stall_limit() (10 s unless set) counts as stalled; the limit runs from
//   the last byte that moved.
// - apply() sets the line from a DCB; a line without line settings accepts any record.
//   raise_dtr() is false on a line without modem lines; callers ignore it.
// - A line that serves one connection after another (a TCP listener): serves_connections() is
//   true, and take_next_connection() ends the connection served and listens for the next;
//   listening_port() names the port it listens on. Other lines keep their one connection.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

#include "platform/serial_open_failure.h"
#include "platform/serial_settings.h"

namespace platform {

// Why a write ended early, or why the line stopped delivering.
enum class LineFault {
    kNone,
    kHungUp,   // the far end closed the line or the device went away
    kStalled,  // the line took no byte for the stall limit
    kFailed,   // the device reported an error
};

struct WriteResult {
    std::size_t written = 0;  // bytes that left (taken by the driver and, unless stalled, sent)
    LineFault fault = LineFault::kNone;
    std::string reason;  // the system's text for the failure, when it gave one
};

// Why a line stopped delivering.
struct ReadFailure {
    LineFault fault = LineFault::kNone;
    std::string reason;  // the system's text for the failure, when it gave one
};

enum class InputWait {
    Ready,        // bytes (or a line event) are waiting
    HungUp,       // the line reports hang-up or an error; it will not deliver again
    Cancelled,    // cancel() was called
    Interrupted,  // interrupt() was called; nothing is known of the line
};

class Line {
  public:
    virtual ~Line() = default;
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // On HungUp, *failure (when given) says why.
    virtual InputWait wait_for_input(ReadFailure* failure = nullptr) const = 0;
    // Waits for cancel() at most `milliseconds` (negative: no limit); true when cancelled.
    bool wait_for_cancel_for(int milliseconds) const;
    void cancel() const;
    void interrupt() const;
    // Bytes waiting to be read; 0 on failure.
    virtual std::size_t waiting() const = 0;
    virtual std::ptrdiff_t read(std::uint8_t* buffer, std::size_t size,
                                ReadFailure* failure = nullptr) const = 0;
    virtual WriteResult write(const std::uint8_t* data, std::size_t size) const = 0;

    virtual bool apply(const DCB& dcb) = 0;
    virtual bool raise_dtr() = 0;

    // Recorded for whoever asks; a line may also hand it to its driver.
    virtual void recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
        m_input_queue = input;
        m_output_queue = output;
    }
    std::uint16_t recommended_input_queue() const { return m_input_queue; }
    std::uint16_t recommended_output_queue() const { return m_output_queue; }

    static constexpr std::chrono::milliseconds kDefaultStallLimit{10000};
    std::chrono::milliseconds stall_limit() const { return m_stall_limit; }
    void set_stall_limit(std::chrono::milliseconds limit) { m_stall_limit = limit; }

    virtual bool serves_connections() const { return false; }
    // Owner only, with no wait, read or write running. False, with the system's text in
    // *reason, when the line cannot listen again; it then has no input until it is closed.
    virtual bool take_next_connection(std::string* reason) {
        (void)reason;
        return true;
    }
    virtual std::optional<std::uint16_t> listening_port() const { return std::nullopt; }

  protected:
    // What cancel() and interrupt() raise and a line's own waits watch, the same for every line
    // of a system: defined in that system's line_signals.h, with the calls above in its
    // line_<system>.cpp.
    struct CancelSignals;
    struct CancelSignalsDeleter {
        void operator()(CancelSignals* signals) const noexcept;
    };
    using CancelSignalsPointer = std::unique_ptr<CancelSignals, CancelSignalsDeleter>;

    // New signals, none raised; null when the system could not make them, with its error code
    // in *error.
    static CancelSignalsPointer make_cancel_signals(int* error);

    explicit Line(CancelSignalsPointer signals) : m_signals(std::move(signals)) {}
    Line(Line&&) noexcept = default;
    Line& operator=(Line&&) noexcept = default;

    const CancelSignals& signals() const { return *m_signals; }

  private:
    CancelSignalsPointer m_signals;
    std::uint16_t m_input_queue = 0;
    std::uint16_t m_output_queue = 0;
    std::chrono::milliseconds m_stall_limit = kDefaultStallLimit;
};

// Why an open failed: the system's error code (errno on POSIX, GetLastError's or
// WSAGetLastError's on Windows) and the system's own text for it (or, for a malformed name,
// ours).
struct OpenError {
    int error = 0;
    std::string reason;
    SerialOpenFailure detail;
};

// What a factory of move-only handles returns: the handle, or why there is none.
template <typename Handle>
class OpenOutcome {
  public:
    explicit OpenOutcome(Handle handle) : m_value(std::move(handle)) {}
    explicit OpenOutcome(OpenError failure) : m_value(std::move(failure)) {}

    bool ok() const { return m_value.index() == 0; }
    // 0 on success.
    int error() const { return ok() ? 0 : std::get<OpenError>(m_value).error; }
    // Empty on success.
    std::string reason() const {
        return ok() ? std::string() : std::get<OpenError>(m_value).reason;
    }
    // Only valid when !ok().
    const OpenError& failure() const { return std::get<OpenError>(m_value); }
    // Moves the handle out; only valid when ok().
    Handle take() { return std::move(std::get<Handle>(m_value)); }

  private:
    std::variant<Handle, OpenError> m_value;
};

using LineOpenResult = OpenOutcome<std::unique_ptr<Line>>;

LineOpenResult OpenLine(std::string_view name);

}  // namespace platform
