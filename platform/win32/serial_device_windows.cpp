#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>

#include "platform/line_internal.h"
#include "platform/serial_device.h"
#include "platform/serial_settings.h"
#include "platform/system_error.h"
#include "platform/win32/open_failure.h"
#include "platform/win32/wide_text.h"

// After our headers: <windows.h> defines names ours use (NOPARITY, DCB fields' constants).
#include <windows.h>

#include "platform/win32/line_signals.h"
#include "platform/win32/overlapped_wait.h"

namespace platform {

// The reader waits with an overlapped one-byte ReadFile rather than WaitCommEvent: an
// overlapped WaitCommEvent that has to wait ends with ERROR_OPERATION_ABORTED on ports that
// cannot report modem status (emulated ports, pseudo-terminals under Wine), while a read with
// all read time-outs 0 simply completes when a byte arrives, on every driver.
struct SerialDevice::State {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE read_event = nullptr;
    OVERLAPPED wait_read{};  // the pending one-byte read of wait_for_input()
    bool wait_read_pending = false;
    std::uint8_t first_byte = 0;
    bool have_first_byte = false;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        if (device != INVALID_HANDLE_VALUE) {
            if (wait_read_pending) {
                // The system writes into wait_read until the read has ended: end it and wait.
                ::CancelIoEx(device, &wait_read);
                DWORD ignored = 0;
                ::GetOverlappedResult(device, &wait_read, &ignored, TRUE);
            }
            ::CloseHandle(device);
        }
        if (read_event != nullptr) {
            ::CloseHandle(read_event);
        }
    }
};

void SerialDevice::StateDeleter::operator()(State* state) const noexcept {
    delete state;
}

namespace {

bool has_device_prefix(std::string_view name) {
    return name.substr(0, 4) == "\\\\.\\";
}

// Errors with which the system reports a line that is gone: a device removed or switched off,
// and under Wine a pseudo-terminal whose other end was closed.
constexpr std::array<DWORD, 8> kGone{
    ERROR_BAD_COMMAND,    ERROR_NOT_READY,   ERROR_DEVICE_NOT_CONNECTED,
    ERROR_DEVICE_REMOVED, ERROR_BROKEN_PIPE, ERROR_PIPE_NOT_CONNECTED,
    ERROR_NO_DATA,        ERROR_HANDLE_EOF,
};

WriteResult write_failed(std::size_t written, DWORD code) {
    return {written, FaultOf(code, kGone), SystemErrorText(code)};
}

// Fills *failure, when given, for the system's error `code`.
void tell_read_failure(ReadFailure* failure, DWORD code) {
    if (failure != nullptr) {
        *failure = {FaultOf(code, kGone), SystemErrorText(code)};
    }
}

// Bytes the driver holds for sending, or nullopt when the device no longer answers.
std::optional<DWORD> bytes_queued_for_output(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(device, &errors, &status) == 0) {
        return std::nullopt;
    }
    return status.cbOutQue;
}

using Clock = std::chrono::steady_clock;

}  // namespace

std::string SerialDevicePath(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    return has_device_prefix(name) ? std::string(name) : "\\\\.\\" + std::string(name);
}

SerialDevice::OpenResult SerialDevice::open(std::string_view name) {
    std::string path = SerialDevicePath(name);
    auto fail = [&path](DWORD code) { return OpenResult(detail::OpenFailure(path, code)); };
    if (path.empty()) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    int error = 0;
    CancelSignalsPointer signals = make_cancel_signals(&error);
    if (!signals) {
        return fail(static_cast<DWORD>(error));
    }
    std::unique_ptr<State, StateDeleter> state(new State);
    state->device =
        ::CreateFileW(AsWide(TextToUtf16(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (state->device == INVALID_HANDLE_VALUE) {
        return fail(::GetLastError());
    }
    if (::GetFileType(state->device) != FILE_TYPE_CHAR) {
        return fail(ERROR_BAD_DEVICE);
    }
    state->read_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (state->read_event == nullptr) {
        return fail(::GetLastError());
    }
    // Read time-outs all 0: a read waits until its count has arrived, and the reader asks only
    // for what is there (or for one byte while it waits). No write time-outs: write() keeps its
    // own allowance.
    COMMTIMEOUTS timeouts{};
    ::SetCommTimeouts(state->device, &timeouts);
    ::SetCommMask(state->device, EV_RXCHAR);
    return OpenResult(SerialDevice(std::move(signals), std::move(state), std::move(path)));
}

void SerialDevice::recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
    Line::recommend_queue_sizes(input, output);
    ::SetupComm(m_state->device, input, output);
}

bool SerialDevice::raise_dtr() {
    return ::EscapeCommFunction(m_state->device, SETDTR) != 0;
}

InputWait SerialDevice::wait_for_input(ReadFailure* failure) const {
    State& s = *m_state;
    auto hung_up = [failure](DWORD code) {
        tell_read_failure(failure, code);
        return InputWait::HungUp;
    };
    while (true) {
        if (s.have_first_byte) {
            return InputWait::Ready;
        }
        if (::WaitForSingleObject(signals().cancel_event, 0) == WAIT_OBJECT_0) {
            return InputWait::Cancelled;
        }
        if (!s.wait_read_pending) {
            s.wait_read = OVERLAPPED{};
            s.wait_read.hEvent = s.read_event;
            ::ResetEvent(s.read_event);
            if (::ReadFile(s.device, &s.first_byte, 1, nullptr, &s.wait_read) == 0 &&
                ::GetLastError() != ERROR_IO_PENDING) {
                return hung_up(::GetLastError());
            }
            s.wait_read_pending = true;
        }
        switch (WaitEventOrCancel(s.read_event, signals().cancel_event, INFINITE,
                                  signals().interrupt_event)) {
            case Woken::kCancelled:
                return InputWait::Cancelled;  // the read stays pending until the device closes
            case Woken::kInterrupted:
                return InputWait::Interrupted;  // the read stays pending for the next wait
            case Woken::kEvent:
                break;
            default:
                return hung_up(::GetLastError());
        }
        DWORD count = 0;
        BOOL ok = ::GetOverlappedResult(s.device, &s.wait_read, &count, FALSE);
        const DWORD error = ok != 0 ? ERROR_SUCCESS : ::GetLastError();
        s.wait_read_pending = false;
        if (ok == 0 && error != ERROR_OPERATION_ABORTED) {
            return hung_up(error);
        }
        // A read that ended without its byte (aborted by the driver) still counts as a wake-up:
        // the caller finds nothing waiting and pauses before it waits again, so a driver that
        // keeps doing it cannot make this a busy loop.
        s.have_first_byte = ok != 0 && count == 1;
        return InputWait::Ready;
    }
}

void SerialDevice::wait_for_cancel() const {
    ::WaitForSingleObject(signals().cancel_event, INFINITE);
}

std::size_t SerialDevice::waiting() const {
    const State& s = *m_state;
    DWORD errors = 0;
    COMSTAT status{};
    std::size_t queued = ::ClearCommError(s.device, &errors, &status) != 0 ? status.cbInQue : 0;
    return queued + (s.have_first_byte ? 1 : 0);
}

std::ptrdiff_t SerialDevice::read(std::uint8_t* buffer, std::size_t size,
                                  ReadFailure* failure) const {
    State& s = *m_state;
    std::size_t done = 0;
    if (size > 0 && s.have_first_byte) {
        buffer[done++] = s.first_byte;
        s.have_first_byte = false;
    }
    // The byte already taken is delivered; the failure shows again on the next read.
    auto failed = [&](DWORD code) -> std::ptrdiff_t {
        if (done > 0) {
            return static_cast<std::ptrdiff_t>(done);
        }
        tell_read_failure(failure, code);
        return -1;
    };
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(s.device, &errors, &status) == 0) {
        return failed(::GetLastError());
    }
    // Only what is queued: with read time-outs 0 this read completes at once.
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, status.cbInQue));
    if (want == 0) {
        return static_cast<std::ptrdiff_t>(done);
    }
    ScopedEvent event;
    if (event.get() == nullptr) {
        return failed(::GetLastError());
    }
    OVERLAPPED request{};
    request.hEvent = event.get();
    DWORD count = 0;
    if (::ReadFile(s.device, buffer + done, want, nullptr, &request) == 0 &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return failed(::GetLastError());
    }
    if (::GetOverlappedResult(s.device, &request, &count, TRUE) == 0) {
        return failed(::GetLastError());
    }
    return static_cast<std::ptrdiff_t>(done + count);
}

namespace {

// A write goes out in pieces of this size: each piece that completes shows the line moving,
// which restarts the stall limit, and a stalled line holds back at most one piece.
constexpr std::size_t kWritePiece = 256;
// How often a waiting write looks whether the driver's queue shrank.
constexpr DWORD kProgressCheckMs = 20;

}  // namespace

WriteResult SerialDevice::write(const std::uint8_t* data, std::size_t size) const {
    const State& s = *m_state;
    ScopedEvent event;
    if (size > 0 && event.get() == nullptr) {
        return write_failed(0, ::GetLastError());
    }
    // The stall limit counts from the last byte that moved: a line that drains, however slowly,
    // is waited for; one that takes nothing for the whole limit will not take the rest either.
    auto deadline = Clock::now() + stall_limit();
    std::size_t done = 0;
    while (done < size) {
        const DWORD piece = static_cast<DWORD>(std::min(kWritePiece, size - done));
        OVERLAPPED request{};
        request.hEvent = event.get();
        ::ResetEvent(event.get());
        if (::WriteFile(s.device, data + done, piece, nullptr, &request) == 0 &&
            ::GetLastError() != ERROR_IO_PENDING) {
            return write_failed(done, ::GetLastError());  // refused at once: nothing pending
        }
        std::optional<DWORD> last_queued = bytes_queued_for_output(s.device);
        Woken woken = Woken::kTimeOut;
        while (true) {
            const DWORD wait_ms = std::min(kProgressCheckMs, MillisecondsUntil(deadline));
            woken = WaitEventOrCancel(event.get(), signals().cancel_event, wait_ms);
            if (woken != Woken::kTimeOut) {
                break;
            }
            const std::optional<DWORD> queued = bytes_queued_for_output(s.device);
            if (queued && (!last_queued || *queued < *last_queued)) {
                deadline = Clock::now() + stall_limit();
            }
            last_queued = queued;
            if (Clock::now() >= deadline) {
                break;
            }
        }
        if (woken != Woken::kEvent) {
            ::CancelIoEx(s.device, &request);
        }
        DWORD count = 0;
        const BOOL completed = ::GetOverlappedResult(s.device, &request, &count, TRUE);
        const DWORD error = completed != 0 ? ERROR_SUCCESS : ::GetLastError();
        done += count;
        if (woken == Woken::kCancelled) {
            return {done, LineFault::kFailed, SystemErrorText(ERROR_OPERATION_ABORTED)};
        }
        if (woken == Woken::kTimeOut && count < piece) {
            // What the driver still holds will not go out: drop it and report only what left.
            const DWORD queued = bytes_queued_for_output(s.device).value_or(0);
            ::PurgeComm(s.device, PURGE_TXABORT | PURGE_TXCLEAR);
            return {done - std::min<std::size_t>(done, queued), LineFault::kStalled, {}};
        }
        if (woken == Woken::kFailed) {
            return write_failed(done, ::GetLastError());
        }
        if (completed == 0 && error != ERROR_OPERATION_ABORTED) {
            return write_failed(done, error);
        }
        if (count > 0) {
            deadline = Clock::now() + stall_limit();
        }
    }
    // A completed write may still sit in the driver's queue: wait until it is empty, as a drain
    // would, with the same stall limit.
    std::optional<DWORD> last_queued;
    while (size > 0) {
        const std::optional<DWORD> queued = bytes_queued_for_output(s.device);
        if (!queued) {
            return write_failed(done, ::GetLastError());
        }
        if (*queued == 0) {
            break;
        }
        if (!last_queued || *queued < *last_queued) {
            deadline = Clock::now() + stall_limit();
            last_queued = queued;
        }
        const DWORD wait_ms = MillisecondsUntil(deadline);
        if (wait_ms == 0) {
            ::PurgeComm(s.device, PURGE_TXABORT | PURGE_TXCLEAR);
            return {done - std::min<std::size_t>(done, *queued), LineFault::kStalled, {}};
        }
        if (::WaitForSingleObject(signals().cancel_event, std::min<DWORD>(wait_ms, 2)) ==
            WAIT_OBJECT_0) {
            return {done, LineFault::kFailed, SystemErrorText(ERROR_OPERATION_ABORTED)};
        }
    }
    return {done, LineFault::kNone, {}};
}

bool SerialDevice::apply(const DCB& dcb) {
    return ApplySerialSettings(reinterpret_cast<std::intptr_t>(m_state->device), dcb);
}

}  // namespace platform
