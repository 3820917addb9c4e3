#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/comm_dcb.h"
#include "platform/serial_device.h"
#include "platform/wide_text_windows.h"

// After our headers: <windows.h> defines names ours use (NOPARITY, DCB fields' constants).
#include <windows.h>

namespace platform {

// The reader waits with an overlapped one-byte ReadFile rather than WaitCommEvent: an
// overlapped WaitCommEvent that has to wait ends with ERROR_OPERATION_ABORTED on ports that
// cannot report modem status (emulated ports, pseudo-terminals under Wine), while a read with
// all read time-outs 0 simply completes when a byte arrives, on every driver.
struct SerialDevice::Win32State {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE cancel_event = nullptr;  // manual reset: once set, every wait ends at once
    HANDLE read_event = nullptr;
    OVERLAPPED wait_read{};  // the pending one-byte read of wait_for_input()
    bool wait_read_pending = false;
    std::uint8_t first_byte = 0;
    bool have_first_byte = false;

    Win32State() = default;
    Win32State(const Win32State&) = delete;
    Win32State& operator=(const Win32State&) = delete;
    ~Win32State() {
        if (device != INVALID_HANDLE_VALUE) {
            if (wait_read_pending) {
                // The system writes into wait_read until the read has ended: end it and wait.
                ::CancelIoEx(device, &wait_read);
                DWORD ignored = 0;
                ::GetOverlappedResult(device, &wait_read, &ignored, TRUE);
            }
            ::CloseHandle(device);
        }
        for (HANDLE event : {cancel_event, read_event}) {
            if (event != nullptr) {
                ::CloseHandle(event);
            }
        }
    }
};

namespace {

bool has_device_prefix(std::string_view name) {
    return name.substr(0, 4) == "\\\\.\\";
}

std::string system_message(DWORD code) {
    std::array<wchar_t, 512> text{};
    DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::wstring_view message(text.data(), length);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) {
        message.remove_suffix(1);
    }
    return message.empty() ? "error " + std::to_string(code) : FromWide(message);
}

// Waits for `event` or the cancel event; true when `event` came first.
enum class Woken { kEvent, kCancelled, kTimeOut, kFailed };
Woken wait_event_or_cancel(HANDLE event, HANDLE cancel, DWORD milliseconds) {
    std::array<HANDLE, 2> handles{cancel, event};
    DWORD result = ::WaitForMultipleObjects(2, handles.data(), FALSE, milliseconds);
    switch (result) {
        case WAIT_OBJECT_0:
            return Woken::kCancelled;
        case WAIT_OBJECT_0 + 1:
            return Woken::kEvent;
        case WAIT_TIMEOUT:
            return Woken::kTimeOut;
        default:
            return Woken::kFailed;
    }
}

// How long a write of `size` bytes may take before the line counts as stuck: twice the time
// the bytes need at the line's speed (10 bit times each), plus a second.
DWORD write_allowance_ms(HANDLE device, std::size_t size) {
    ::DCB current{};
    current.DCBlength = sizeof current;
    DWORD rate = ::GetCommState(device, &current) != 0 ? current.BaudRate : 0;
    if (rate == 0) {
        rate = 300;
    }
    auto transfer_ms = static_cast<std::uint64_t>(size) * 10 * 1000 / rate;
    return static_cast<DWORD>(std::min<std::uint64_t>(2 * transfer_ms + 1000, INFINITE - 1));
}

// An event owned for the length of one call.
class ScopedEvent {
  public:
    ScopedEvent() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ScopedEvent() {
        if (m_event != nullptr) {
            ::CloseHandle(m_event);
        }
    }
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;
    HANDLE get() const { return m_event; }

  private:
    HANDLE m_event;
};

}  // namespace

std::string serial_device_path(std::string_view name) {
    if (name.empty()) {
        return {};
    }
    return has_device_prefix(name) ? std::string(name) : "\\\\.\\" + std::string(name);
}

SerialDevice::OpenResult SerialDevice::open(std::string_view name) {
    std::string path = serial_device_path(name);
    auto fail = [&path](DWORD code) {
        std::fprintf(stderr, "kadro: cannot open serial device %s: %s\n",
                     path.empty() ? "(empty name)" : path.c_str(), system_message(code).c_str());
        return OpenResult(static_cast<int>(code));
    };
    if (path.empty()) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    auto state = std::make_shared<Win32State>();
    state->device =
        ::CreateFileW(ToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (state->device == INVALID_HANDLE_VALUE) {
        return fail(::GetLastError());
    }
    if (::GetFileType(state->device) != FILE_TYPE_CHAR) {
        return fail(ERROR_BAD_DEVICE);
    }
    state->cancel_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    state->read_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (state->cancel_event == nullptr || state->read_event == nullptr) {
        return fail(::GetLastError());
    }
    // Read time-outs all 0: a read waits until its count has arrived, and the reader asks only
    // for what is there (or for one byte while it waits). No write time-outs: write() keeps its
    // own allowance.
    COMMTIMEOUTS timeouts{};
    ::SetCommTimeouts(state->device, &timeouts);
    ::SetCommMask(state->device, EV_RXCHAR);
    SerialDevice device(-1, -1, std::move(path));
    device.m_win32 = std::move(state);
    return OpenResult(std::move(device));
}

SerialDevice::SerialDevice(int fd, int cancel_fd, std::string path)
    : m_fd(fd), m_cancel_fd(cancel_fd), m_path(std::move(path)) {}

SerialDevice::SerialDevice(SerialDevice&& other) noexcept
    : m_path(std::move(other.m_path)),
      m_input_queue(other.m_input_queue),
      m_output_queue(other.m_output_queue),
      m_win32(std::move(other.m_win32)) {}

SerialDevice& SerialDevice::operator=(SerialDevice&& other) noexcept {
    if (this != &other) {
        m_path = std::move(other.m_path);
        m_input_queue = other.m_input_queue;
        m_output_queue = other.m_output_queue;
        m_win32 = std::move(other.m_win32);
    }
    return *this;
}

SerialDevice::~SerialDevice() {
    reset();
}

void SerialDevice::reset() noexcept {
    m_win32.reset();
}

void SerialDevice::recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
    m_input_queue = input;
    m_output_queue = output;
    ::SetupComm(m_win32->device, input, output);
}

bool SerialDevice::raise_dtr() {
    return ::EscapeCommFunction(m_win32->device, SETDTR) != 0;
}

InputWait SerialDevice::wait_for_input() const {
    Win32State& s = *m_win32;
    while (true) {
        if (s.have_first_byte) {
            return InputWait::Ready;
        }
        if (::WaitForSingleObject(s.cancel_event, 0) == WAIT_OBJECT_0) {
            return InputWait::Cancelled;
        }
        if (!s.wait_read_pending) {
            s.wait_read = OVERLAPPED{};
            s.wait_read.hEvent = s.read_event;
            ::ResetEvent(s.read_event);
            if (::ReadFile(s.device, &s.first_byte, 1, nullptr, &s.wait_read) == 0 &&
                ::GetLastError() != ERROR_IO_PENDING) {
                return InputWait::HungUp;
            }
            s.wait_read_pending = true;
        }
        switch (wait_event_or_cancel(s.read_event, s.cancel_event, INFINITE)) {
            case Woken::kCancelled:
                return InputWait::Cancelled;  // the read stays pending until the device closes
            case Woken::kEvent:
                break;
            default:
                return InputWait::HungUp;
        }
        DWORD count = 0;
        BOOL ok = ::GetOverlappedResult(s.device, &s.wait_read, &count, FALSE);
        s.wait_read_pending = false;
        if (ok == 0 && ::GetLastError() != ERROR_OPERATION_ABORTED) {
            return InputWait::HungUp;
        }
        // A read that ended without its byte (aborted by the driver) still counts as a wake-up:
        // the caller finds nothing waiting and pauses before it waits again, so a driver that
        // keeps doing it cannot make this a busy loop.
        s.have_first_byte = ok != 0 && count == 1;
        return InputWait::Ready;
    }
}

void SerialDevice::wait_for_cancel() const {
    ::WaitForSingleObject(m_win32->cancel_event, INFINITE);
}

bool SerialDevice::wait_for_cancel_for(int milliseconds) const {
    DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    return ::WaitForSingleObject(m_win32->cancel_event, limit) == WAIT_OBJECT_0;
}

void SerialDevice::cancel() const {
    ::SetEvent(m_win32->cancel_event);
}

std::size_t SerialDevice::waiting() const {
    const Win32State& s = *m_win32;
    DWORD errors = 0;
    COMSTAT status{};
    std::size_t queued = ::ClearCommError(s.device, &errors, &status) != 0 ? status.cbInQue : 0;
    return queued + (s.have_first_byte ? 1 : 0);
}

std::ptrdiff_t SerialDevice::read(std::uint8_t* buffer, std::size_t size) const {
    Win32State& s = *m_win32;
    std::size_t done = 0;
    if (size > 0 && s.have_first_byte) {
        buffer[done++] = s.first_byte;
        s.have_first_byte = false;
    }
    DWORD errors = 0;
    COMSTAT status{};
    if (::ClearCommError(s.device, &errors, &status) == 0) {
        return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
    }
    // Only what is queued: with read time-outs 0 this read completes at once.
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(size - done, status.cbInQue));
    if (want == 0) {
        return static_cast<std::ptrdiff_t>(done);
    }
    ScopedEvent event;
    OVERLAPPED request{};
    request.hEvent = event.get();
    DWORD count = 0;
    if (::ReadFile(s.device, buffer + done, want, nullptr, &request) == 0 &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
    }
    if (::GetOverlappedResult(s.device, &request, &count, TRUE) == 0) {
        return done > 0 ? static_cast<std::ptrdiff_t>(done) : -1;
    }
    return static_cast<std::ptrdiff_t>(done + count);
}

std::size_t SerialDevice::write(const std::uint8_t* data, std::size_t size) const {
    const Win32State& s = *m_win32;
    if (size == 0) {
        return 0;
    }
    ScopedEvent event;
    OVERLAPPED request{};
    request.hEvent = event.get();
    if (event.get() == nullptr) {
        return 0;
    }
    if (::WriteFile(s.device, data, static_cast<DWORD>(size), nullptr, &request) == 0 &&
        ::GetLastError() != ERROR_IO_PENDING) {
        return 0;  // refused at once: no write is in progress, so nothing to wait for
    }
    Woken woken =
        wait_event_or_cancel(event.get(), s.cancel_event, write_allowance_ms(s.device, size));
    if (woken != Woken::kEvent) {
        // Stuck, cancelled or failed: end the write and report what left.
        ::CancelIoEx(s.device, &request);
    }
    DWORD count = 0;
    ::GetOverlappedResult(s.device, &request, &count, TRUE);
    return count;
}

bool SerialDevice::apply(const DCB& dcb) {
    static_assert(sizeof(::DCB) == sizeof(DCB), "the record keeps the system's layout");
    ::DCB native{};
    std::memcpy(&native, &dcb, sizeof native);
    native.DCBlength = sizeof native;
    return ::SetCommState(m_win32->device, &native) != 0;
}

}  // namespace platform
