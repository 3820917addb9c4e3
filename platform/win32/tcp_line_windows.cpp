#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>

#include "platform/line_internal.h"
#include "platform/system_error.h"
#include "platform/tcp_line.h"

// After our headers, which use names that <windows.h> defines as macros; Winsock before it
// (the blank line keeps the order).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include "platform/tcp_line_internal.h"
#include "platform/win32/line_signals.h"
#include "platform/win32/overlapped_wait.h"

namespace platform {

namespace {

// Winsock started for as long as the object lives; the system counts the starts.
class WinsockUse {
  public:
    WinsockUse() {
        WSADATA data{};
        m_error = ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~WinsockUse() {
        if (m_error == 0) {
            ::WSACleanup();
        }
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    // 0 once started, else the system's error code.
    int error() const { return m_error; }

  private:
    int m_error = 0;
};

}  // namespace

// The sockets, the event the listener's connections raise and the event of the wait, which is a
// one-byte overlapped receive as on a serial device.
struct TcpLine::State : TcpLineSockets<SOCKET, INVALID_SOCKET> {
    WinsockUse winsock;  // started before any socket, ended after ~State has closed them all
    HANDLE accept_event = nullptr;
    HANDLE read_event = nullptr;
    OVERLAPPED wait_read{};
    bool wait_read_pending = false;
    char first_byte = 0;
    bool have_first_byte = false;

    ~State() {
        close_connection();
        if (listener != INVALID_SOCKET) {
            ::closesocket(listener);
        }
        for (HANDLE event : {accept_event, read_event}) {
            if (event != nullptr) {
                ::CloseHandle(event);
            }
        }
    }

    void close_connection() {
        const SOCKET served = connection.exchange(INVALID_SOCKET);
        if (served == INVALID_SOCKET) {
            return;
        }
        if (wait_read_pending) {
            // The system writes into wait_read until the receive has ended: end it and wait.
            ::CancelIoEx(reinterpret_cast<HANDLE>(served), &wait_read);
            DWORD ignored = 0;
            DWORD flags = 0;
            ::WSAGetOverlappedResult(served, &wait_read, &ignored, TRUE, &flags);
            wait_read_pending = false;
        }
        have_first_byte = false;
        ::closesocket(served);
    }
};

void TcpLine::StateDeleter::operator()(State* state) const noexcept {
    delete state;
}

namespace {

// Errors with which the system says the peer is gone rather than that something failed here.
constexpr std::array<DWORD, 12> kGone{
    WSAECONNRESET, WSAECONNABORTED, WSAENOTCONN,           WSAESHUTDOWN,
    WSAETIMEDOUT,  WSAEHOSTUNREACH, WSAENETUNREACH,        WSAENETDOWN,
    WSAENETRESET,  WSAEDISCON,      ERROR_NETNAME_DELETED, ERROR_CONNECTION_ABORTED,
};

void tell_read_failure(ReadFailure* failure, DWORD code) {
    if (failure != nullptr) {
        *failure = {FaultOf(code, kGone), code != 0 ? SystemErrorText(code) : std::string()};
    }
}

}  // namespace

struct TcpLine::Sockets {
    using State = TcpLine::State;
    using Socket = SOCKET;
    static constexpr Socket kNoSocket = INVALID_SOCKET;
    static constexpr int kMalformedName = WSAEINVAL;
    static constexpr int kNoAddress = WSAEADDRNOTAVAIL;

    static int start(State& state) {
        if (state.winsock.error() != 0) {
            return state.winsock.error();
        }
        for (HANDLE* event : {&state.read_event, &state.accept_event}) {
            *event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
            if (*event == nullptr) {
                return static_cast<int>(::GetLastError());
            }
        }
        return 0;
    }

    // Name resolution's codes are Winsock's, with the system's texts.
    static OpenError resolution_failure(int rc, const std::string& host) {
        OpenError failure = SystemOpenError(rc);
        failure.reason += " (" + host + ")";
        return failure;
    }

    // A listening socket on `address` whose connections raise the accept event, or INVALID_SOCKET
    // with *error set. One pending connection is enough: the line serves one at a time.
    static Socket listen_on(const State& state, const sockaddr* address, socklen_t size,
                            int* error) {
        SOCKET socket = ::socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP);
        if (socket == INVALID_SOCKET) {
            *error = ::WSAGetLastError();
            return INVALID_SOCKET;
        }
        // No other program may take the port over while this one listens on it.
        BOOL on = TRUE;
        ::setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on),
                     sizeof on);
        if (::bind(socket, address, size) != 0 || ::listen(socket, 1) != 0 ||
            ::WSAEventSelect(socket, state.accept_event, FD_ACCEPT) != 0) {
            *error = ::WSAGetLastError();
            ::closesocket(socket);
            return INVALID_SOCKET;
        }
        return socket;
    }

    // A connected socket to `address`, or INVALID_SOCKET with *error set once `deadline` has
    // passed.
    static Socket connect_to(const addrinfo& address,
                             std::chrono::steady_clock::time_point deadline, int* error) {
        SOCKET socket = ::socket(address.ai_family, SOCK_STREAM, IPPROTO_TCP);
        if (socket == INVALID_SOCKET) {
            *error = ::WSAGetLastError();
            return INVALID_SOCKET;
        }
        u_long non_blocking = 1;
        ::ioctlsocket(socket, FIONBIO, &non_blocking);
        int result = 0;
        if (::connect(socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) != 0) {
            result = ::WSAGetLastError();
        }
        if (result == WSAEWOULDBLOCK) {
            fd_set writable;
            fd_set failed;
            FD_ZERO(&writable);
            FD_ZERO(&failed);
            FD_SET(socket, &writable);
            FD_SET(socket, &failed);
            const DWORD left = MillisecondsUntil(deadline);
            timeval limit{static_cast<long>(left / 1000), static_cast<long>(left % 1000 * 1000)};
            const int ready = ::select(0, nullptr, &writable, &failed, &limit);
            int size = sizeof result;
            if (ready == 0) {
                result = WSAETIMEDOUT;
            } else if (ready < 0) {
                result = ::WSAGetLastError();
            } else if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&result),
                                    &size) != 0) {
                result = ::WSAGetLastError();
            }
        }
        if (result != 0) {
            *error = result;
            ::closesocket(socket);
            return INVALID_SOCKET;
        }
        serve(socket);
        return socket;
    }

    static Socket accept(Socket listener) { return ::accept(listener, nullptr, nullptr); }

    // Plain blocking mode, no event selection, no Nagle delay: what a served connection needs.
    static void serve(Socket socket) {
        ::WSAEventSelect(socket, nullptr, 0);  // an accepted socket inherits the listener's
        u_long blocking = 0;
        ::ioctlsocket(socket, FIONBIO, &blocking);
        BOOL on = TRUE;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                     sizeof on);
    }

    static void close(Socket socket) { ::closesocket(socket); }
};

OpenOutcome<TcpLine> TcpLine::open(std::string_view name) {
    return OpenTcpLine<Sockets>(name);
}

int TcpLine::listen_again() {
    State& s = *m_state;
    ::ResetEvent(signals().cancel_event);
    int error = 0;
    if (s.listener == INVALID_SOCKET) {
        // Listening again before the served connection closes: a peer that reconnects as soon
        // as it sees the close must find the port open, not refused.
        ::ResetEvent(s.accept_event);
        s.listener =
            Sockets::listen_on(s, reinterpret_cast<sockaddr*>(&s.address), s.address_size, &error);
        SizeBuffers<Sockets>(s.listener, recommended_input_queue(), recommended_output_queue());
    }
    s.close_connection();
    return s.listener != INVALID_SOCKET ? 0 : error;
}

std::optional<InputWait> TcpLine::wait(Until until, Deadline deadline, ReadFailure* failure) const {
    State& s = *m_state;
    auto left = [&] { return deadline ? MillisecondsUntil(*deadline) : INFINITE; };
    const HANDLE interrupt = until == Until::kInput ? signals().interrupt_event : nullptr;
    // How a wait that its event did not end ends this one.
    auto ended = [failure](Woken woken) -> std::optional<InputWait> {
        if (woken == Woken::kTimeOut) {
            return std::nullopt;
        }
        if (woken == Woken::kFailed) {
            tell_read_failure(failure, ::GetLastError());
            return InputWait::HungUp;
        }
        return woken == Woken::kCancelled ? InputWait::Cancelled : InputWait::Interrupted;
    };
    while (true) {
        if (s.have_first_byte) {
            return InputWait::Ready;
        }
        if (::WaitForSingleObject(signals().cancel_event, 0) == WAIT_OBJECT_0) {
            return InputWait::Cancelled;
        }
        const SOCKET connection = s.connection.load(std::memory_order_acquire);
        if (connection == INVALID_SOCKET) {
            // Without a connection the line waits for one (a listener) or for cancel() only.
            HANDLE event = s.listener != INVALID_SOCKET ? s.accept_event : nullptr;
            const Woken woken = WaitEventOrCancel(event, signals().cancel_event, left(), interrupt);
            if (woken != Woken::kEvent) {
                return ended(woken);
            }
            WSANETWORKEVENTS events{};
            ::WSAEnumNetworkEvents(s.listener, s.accept_event, &events);  // resets the event
            // A connection gone before it was taken, or no resources for it: a short rest keeps a
            // listener that stays ready from making this a busy loop.
            if (!AcceptOne<Sockets>(s.listener, s.connection) &&
                ::WaitForSingleObject(signals().cancel_event, kAcceptRetryMs) == WAIT_OBJECT_0) {
                return InputWait::Cancelled;
            }
            continue;
        }
        if (until == Until::kConnection) {
            return InputWait::Ready;
        }
        if (!s.wait_read_pending) {
            s.wait_read = OVERLAPPED{};
            s.wait_read.hEvent = s.read_event;
            ::ResetEvent(s.read_event);
            WSABUF buffer{1, &s.first_byte};
            DWORD flags = 0;
            if (::WSARecv(connection, &buffer, 1, nullptr, &flags, &s.wait_read, nullptr) != 0 &&
                ::WSAGetLastError() != WSA_IO_PENDING) {
                tell_read_failure(failure, static_cast<DWORD>(::WSAGetLastError()));
                return InputWait::HungUp;
            }
            s.wait_read_pending = true;
        }
        // Cancelled or timed out, the receive stays pending until the line closes.
        const Woken woken =
            WaitEventOrCancel(s.read_event, signals().cancel_event, left(), interrupt);
        if (woken != Woken::kEvent) {
            return ended(woken);
        }
        DWORD count = 0;
        DWORD flags = 0;
        const BOOL ok = ::WSAGetOverlappedResult(connection, &s.wait_read, &count, FALSE, &flags);
        const DWORD error = ok ? 0 : static_cast<DWORD>(::WSAGetLastError());
        s.wait_read_pending = false;
        if (!ok || count == 0) {
            // No byte and no error: the peer closed the connection, which has no text.
            tell_read_failure(failure, error);
            if (failure != nullptr && ok) {
                failure->fault = LineFault::kHungUp;
            }
            return InputWait::HungUp;
        }
        s.have_first_byte = true;
        return InputWait::Ready;
    }
}

std::size_t TcpLine::waiting() const {
    const State& s = *m_state;
    const SOCKET connection = s.connection.load(std::memory_order_acquire);
    u_long queued = 0;
    if (connection == INVALID_SOCKET || ::ioctlsocket(connection, FIONREAD, &queued) != 0) {
        queued = 0;
    }
    return queued + (s.have_first_byte ? 1 : 0);
}

std::ptrdiff_t TcpLine::read(std::uint8_t* buffer, std::size_t size, ReadFailure* failure) const {
    State& s = *m_state;
    const SOCKET connection = s.connection.load(std::memory_order_acquire);
    std::size_t done = 0;
    if (size > 0 && s.have_first_byte) {
        buffer[done++] = static_cast<std::uint8_t>(s.first_byte);
        s.have_first_byte = false;
    }
    u_long queued = 0;
    if (connection == INVALID_SOCKET || ::ioctlsocket(connection, FIONREAD, &queued) != 0) {
        return static_cast<std::ptrdiff_t>(done);
    }
    // Only what is queued: the receive completes at once.
    const int want = static_cast<int>(std::min<std::size_t>(size - done, queued));
    if (want == 0) {
        return static_cast<std::ptrdiff_t>(done);
    }
    const int got = ::recv(connection, reinterpret_cast<char*>(buffer + done), want, 0);
    if (got > 0) {
        return static_cast<std::ptrdiff_t>(done + static_cast<std::size_t>(got));
    }
    if (done > 0) {
        return static_cast<std::ptrdiff_t>(done);  // the failure shows again on the next read
    }
    tell_read_failure(failure, got == 0 ? 0 : static_cast<DWORD>(::WSAGetLastError()));
    if (failure != nullptr && got == 0) {
        failure->fault = LineFault::kHungUp;
    }
    return -1;
}

namespace {

// A write goes out in pieces of this size: each piece the system takes shows the line moving,
// which restarts the stall limit, and a stalled line holds back at most one piece.
constexpr std::size_t kWritePiece = 4096;

}  // namespace

WriteResult TcpLine::write(const std::uint8_t* data, std::size_t size) const {
    const State& s = *m_state;
    const SOCKET connection = s.connection.load(std::memory_order_acquire);
    if (connection == INVALID_SOCKET || size == 0) {
        return {0, LineFault::kNone, {}};
    }
    ScopedEvent event;
    if (event.get() == nullptr) {
        return {0, LineFault::kFailed, SystemErrorText(::GetLastError())};
    }
    std::size_t done = 0;
    while (done < size) {
        OVERLAPPED request{};
        request.hEvent = event.get();
        ::ResetEvent(event.get());
        WSABUF piece{static_cast<ULONG>(std::min(kWritePiece, size - done)),
                     reinterpret_cast<char*>(const_cast<std::uint8_t*>(data + done))};
        if (::WSASend(connection, &piece, 1, nullptr, 0, &request, nullptr) != 0 &&
            ::WSAGetLastError() != WSA_IO_PENDING) {
            const DWORD error = static_cast<DWORD>(::WSAGetLastError());
            return {done, FaultOf(error, kGone), SystemErrorText(error)};
        }
        // The stall limit counts from the last piece the system took, as on a serial line.
        const Woken woken = WaitEventOrCancel(event.get(), signals().cancel_event,
                                              static_cast<DWORD>(stall_limit().count()));
        if (woken != Woken::kEvent) {
            ::CancelIoEx(reinterpret_cast<HANDLE>(connection), &request);
        }
        DWORD count = 0;
        DWORD flags = 0;
        const BOOL ok = ::WSAGetOverlappedResult(connection, &request, &count, TRUE, &flags);
        const DWORD error = ok ? 0 : static_cast<DWORD>(::WSAGetLastError());
        done += count;
        if (woken == Woken::kCancelled) {
            return {done, LineFault::kFailed, SystemErrorText(ERROR_OPERATION_ABORTED)};
        }
        if (woken == Woken::kTimeOut && count < piece.len) {
            return {done, LineFault::kStalled, {}};
        }
        if (!ok && error != WSA_OPERATION_ABORTED) {
            return {done, FaultOf(error, kGone), SystemErrorText(error)};
        }
    }
    return {done, LineFault::kNone, {}};
}

void TcpLine::recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
    Line::recommend_queue_sizes(input, output);
    SizeBuffers<Sockets>(*m_state, input, output);
}

}  // namespace platform
