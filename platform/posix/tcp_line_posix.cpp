#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/tcp_line.h"

#include "platform/line_internal.h"
#include "platform/posix/cancel_signal.h"
#include "platform/posix/line_signals.h"
#include "platform/system_error.h"
#include "platform/tcp_line_internal.h"

namespace platform {

struct TcpLine::State : TcpLineSockets<int, -1> {
    ~State() {
        for (int fd : {listener, connection.load()}) {
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
};

void TcpLine::StateDeleter::operator()(State* state) const noexcept {
    delete state;
}

namespace {

using Clock = std::chrono::steady_clock;

// Errors with which the system says the peer is gone rather than that something failed here.
constexpr std::array<int, 9> kGone{
    ECONNRESET,   ECONNABORTED, EPIPE,    ENOTCONN,  ETIMEDOUT,
    EHOSTUNREACH, ENETUNREACH,  ENETDOWN, EHOSTDOWN,
};

}  // namespace

struct TcpLine::Sockets {
    using State = TcpLine::State;
    using Socket = int;
    static constexpr Socket kNoSocket = -1;
    static constexpr int kMalformedName = EINVAL;
    static constexpr int kNoAddress = EADDRNOTAVAIL;

    static int start(State&) { return 0; }  // the sockets are all a line needs here

    // Name resolution has error codes and texts of its own; the code given is the nearest errno.
    static OpenError resolution_failure(int rc, const std::string& host) {
        if (rc == EAI_SYSTEM) {
            return SystemOpenError(errno);
        }
        return {ENOENT, std::string(::gai_strerror(rc)) + " (" + host + ")"};
    }

    // A listening socket on `address`, or -1 with *error set. One pending connection is enough:
    // the line serves one at a time.
    static Socket listen_on(const State&, const sockaddr* address, socklen_t size, int* error) {
        int fd = ::socket(address->sa_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            *error = errno;
            return -1;
        }
        // Listening again after a session must not wait for the old connection's TIME_WAIT.
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (::bind(fd, address, size) != 0 || ::listen(fd, 1) != 0) {
            *error = errno;
            ::close(fd);
            return -1;
        }
        return fd;
    }

    // A connected socket to `address`, or -1 with *error set once `deadline` has passed.
    static Socket connect_to(const addrinfo& address, Clock::time_point deadline, int* error) {
        int fd = ::socket(address.ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            *error = errno;
            return -1;
        }
        if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
            if (errno != EINPROGRESS) {
                *error = errno;
                ::close(fd);
                return -1;
            }
            pollfd p{fd, POLLOUT, 0};
            int result = 0;
            socklen_t size = sizeof result;
            if (PollRetrying(&p, 1, MillisecondsUntil(deadline)) <= 0) {
                result = ETIMEDOUT;
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &result, &size) != 0) {
                result = errno;
            }
            if (result != 0) {
                *error = result;
                ::close(fd);
                return -1;
            }
        }
        serve(fd);
        return fd;
    }

    static Socket accept(Socket listener) {
        return ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    }

    static void serve(Socket socket) {
        int on = 1;
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }

    static void close(Socket socket) { ::close(socket); }
};

OpenOutcome<TcpLine> TcpLine::open(std::string_view name) {
    return OpenTcpLine<Sockets>(name);
}

int TcpLine::listen_again() {
    State& s = *m_state;
    ClearCancel(signals().cancel_fd);
    int error = 0;
    if (s.listener < 0) {
        // Listening again before the served connection closes: a peer that reconnects as soon
        // as it sees the close must find the port open, not refused.
        s.listener =
            Sockets::listen_on(s, reinterpret_cast<sockaddr*>(&s.address), s.address_size, &error);
        SizeBuffers<Sockets>(s.listener, recommended_input_queue(), recommended_output_queue());
    }
    const int served = s.connection.exchange(-1);
    if (served >= 0) {
        ::close(served);
    }
    return s.listener >= 0 ? 0 : error;
}

std::optional<InputWait> TcpLine::wait(Until until, Deadline deadline, ReadFailure* failure) const {
    State& s = *m_state;
    while (true) {
        const int connection = s.connection.load(std::memory_order_acquire);
        if (connection >= 0 && until == Until::kConnection) {
            return InputWait::Ready;
        }
        // Without a connection the line waits for one (a listener) or for nothing but cancel()
        // (and interrupt()). A negative descriptor is left out of the poll.
        std::array<pollfd, 3> fds{
            {{signals().cancel_fd, POLLIN, 0},
             {until == Until::kInput ? signals().interrupt_fd : -1, POLLIN, 0},
             {connection >= 0 ? connection : s.listener, POLLIN, 0}}};
        const int rc =
            PollRetrying(fds.data(), fds.size(), deadline ? MillisecondsUntil(*deadline) : -1);
        if ((rc > 0 && (fds[0].revents & POLLIN) != 0) || rc < 0) {
            return rc < 0 ? InputWait::HungUp : InputWait::Cancelled;
        }
        if (rc == 0) {
            return std::nullopt;
        }
        if ((fds[1].revents & POLLIN) != 0 && TakeInterrupt(signals().interrupt_fd)) {
            return InputWait::Interrupted;
        }
        if (connection < 0) {
            // A connection gone before it was taken, or no resources for it: a short rest keeps a
            // listener that stays ready from making this a busy loop.
            if (!AcceptOne<Sockets>(s.listener, s.connection) &&
                WaitForCancel(signals().cancel_fd, kAcceptRetryMs)) {
                return InputWait::Cancelled;
            }
            continue;
        }
        // The end of the stream is readable too: read() tells it, after the bytes before it.
        if ((fds[2].revents & POLLIN) != 0 || waiting() > 0) {
            return InputWait::Ready;
        }
        if (failure != nullptr) {
            int error = 0;
            socklen_t size = sizeof error;
            ::getsockopt(connection, SOL_SOCKET, SO_ERROR, &error, &size);
            *failure = {LineFault::kHungUp,
                        error != 0 ? SystemErrorText(static_cast<std::uint32_t>(error)) : ""};
        }
        return InputWait::HungUp;
    }
}

std::size_t TcpLine::waiting() const {
    const int connection = m_state->connection.load(std::memory_order_acquire);
    int count = 0;
    if (connection < 0 || ::ioctl(connection, FIONREAD, &count) != 0 || count < 0) {
        return 0;
    }
    return static_cast<std::size_t>(count);
}

std::ptrdiff_t TcpLine::read(std::uint8_t* buffer, std::size_t size, ReadFailure* failure) const {
    const int connection = m_state->connection.load(std::memory_order_acquire);
    if (connection < 0 || size == 0) {
        return 0;
    }
    const ssize_t n = CallRetrying([&] { return ::recv(connection, buffer, size, MSG_DONTWAIT); });
    if (n > 0) {
        return n;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return 0;
    }
    if (failure != nullptr) {
        // End of stream: the peer closed the connection, which has no text of its own.
        *failure = n == 0 ? ReadFailure{LineFault::kHungUp, {}}
                          : ReadFailure{FaultOf(errno, kGone), SystemErrorText(errno)};
    }
    return -1;
}

WriteResult TcpLine::write(const std::uint8_t* data, std::size_t size) const {
    const int connection = m_state->connection.load(std::memory_order_acquire);
    if (connection < 0) {
        return {0, LineFault::kNone, {}};
    }
    // The stall limit counts from the last byte the system took, as on a serial line.
    auto deadline = Clock::now() + stall_limit();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = CallRetrying([&] {
            return ::send(connection, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        });
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            deadline = Clock::now() + stall_limit();
            continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            const int error = n == 0 ? EPIPE : errno;
            return {done, FaultOf(error, kGone),
                    SystemErrorText(static_cast<std::uint32_t>(error))};
        }
        std::array<pollfd, 2> fds{{{signals().cancel_fd, POLLIN, 0}, {connection, POLLOUT, 0}}};
        const int ready = PollRetrying(fds.data(), fds.size(), MillisecondsUntil(deadline));
        if (ready == 0) {
            return {done, LineFault::kStalled, {}};
        }
        if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
            return {done, LineFault::kFailed, SystemErrorText(ECANCELED)};
        }
        // Writable, or in error: the next send says which.
    }
    return {done, LineFault::kNone, {}};
}

void TcpLine::recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
    Line::recommend_queue_sizes(input, output);
    SizeBuffers<Sockets>(*m_state, input, output);
}

}  // namespace platform
