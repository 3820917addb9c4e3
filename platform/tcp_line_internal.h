#pragma once
// Private to platform/ (both system backends use it): how a TCP line (tcp_line.h) opens its
// sockets, takes a connection and sizes their buffers, the same on every system. Include after
// the system's socket headers (<netdb.h> and <sys/socket.h>, or <ws2tcpip.h>): it calls their
// getaddrinfo, getnameinfo, getsockname and setsockopt. Each system's tcp_line_<system>.cpp
// supplies the rest as a `Sockets` class:
//   Socket, kNoSocket                    a socket, and none
//   kMalformedName, kNoAddress           the error codes of a malformed name and of a name that
//                                        resolved to no address
//   State                                the line's sockets (TcpLine::State), derived from
//                                        TcpLineSockets<Socket, kNoSocket>
//   start(state) -> int                  readies what the line needs besides its sockets and its
//                                        cancel signals (Line); 0 or the system's error code
//   resolution_failure(rc, host)         what getaddrinfo's failure `rc` for `host` is told with
//     -> OpenError
//   connect_to(address, deadline, &error) -> Socket
//                                        a connected socket to one addrinfo, ready to serve, or
//                                        kNoSocket with `error` set once `deadline` has passed
//   serve(socket)                        readies a connection to be served
//   listen_on(state, address, size, &error) -> Socket
//                                        a socket listening on `address`, or kNoSocket with
//                                        `error` set
//   accept(listener) -> Socket           the connection waiting; kNoSocket when there is none
//                                        after all
//   close(socket)
//
// TcpLineSockets: what a line's sockets are on every system: the listening socket (while it
// listens), the connection served, and where the listener listens, with the port the system
// gave. Only the waiting thread changes `listener` and sets `connection`, and only while no one
// else uses them; a writer on another thread reads `connection` alone. The system's State
// closes them.
// OpenTcpLine<Sockets>(name): TcpLine::open(name) on every system. It readies the line (its
// cancel signals, then start()), resolves the name and connects to the first of its addresses that
// answers within TcpLine::kConnectLimit, or listens on the first that can be bound. Its failure is
// the system's error code and text of the last address tried, of start(), of the name's resolution
// (resolution_failure()), or kMalformedName with kTcpLineNameForm.
// NumericAddress(address, size): "HOST:PORT" in numbers, an IPv6 HOST in brackets; "" when the
// system cannot say.
// AcceptOne<Sockets>(listener, connection): takes the connection waiting on `listener` into
// `connection`, ready to serve, and closes `listener`, so that the next one is refused; false
// (both unchanged) when there was none after all. A listener that stays ready without a
// connection to take rests kAcceptRetryMs before it tries again, so that it is no busy loop.
// SizeBuffers<Sockets>(socket, input, output): sets the receive and send buffers of `socket` to
// the sizes given, leaving a size of 0 to the system and kNoSocket alone; a connection accepted
// later takes its listener's. SizeBuffers<Sockets>(state, input, output) does so for the listener
// and the connection of `state`.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/system_error.h"
#include "platform/tcp_line.h"

namespace platform {

template <typename Socket, Socket kNoSocket>
struct TcpLineSockets {
    Socket listener = kNoSocket;
    std::atomic<Socket> connection{kNoSocket};
    sockaddr_storage address{};
    socklen_t address_size = 0;
};

inline constexpr int kAcceptRetryMs = 10;

inline OpenError SystemOpenError(int code) {
    return {code, SystemErrorText(static_cast<std::uint32_t>(code))};
}

inline std::string NumericAddress(const sockaddr* address, socklen_t size) {
    std::array<char, NI_MAXHOST> host{};
    std::array<char, NI_MAXSERV> port{};
    if (::getnameinfo(address, size, host.data(), host.size(), port.data(), port.size(),
                      NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
        return {};
    }
    std::string text = host.data();
    if (address->sa_family == AF_INET6) {
        text = "[" + text + "]";
    }
    return text + ":" + port.data();
}

template <typename Sockets>
void SizeBuffers(typename Sockets::Socket socket, std::uint16_t input, std::uint16_t output) {
    for (auto [option, size] : {std::pair(SO_RCVBUF, input), std::pair(SO_SNDBUF, output)}) {
        const int bytes = size;
        if (socket == Sockets::kNoSocket || bytes == 0) {
            continue;
        }
        ::setsockopt(socket, SOL_SOCKET, option, reinterpret_cast<const char*>(&bytes),
                     sizeof bytes);
    }
}

template <typename Sockets>
void SizeBuffers(const typename Sockets::State& state, std::uint16_t input, std::uint16_t output) {
    SizeBuffers<Sockets>(state.listener, input, output);
    SizeBuffers<Sockets>(state.connection.load(), input, output);
}

template <typename Sockets>
bool AcceptOne(typename Sockets::Socket& listener,
               std::atomic<typename Sockets::Socket>& connection) {
    const typename Sockets::Socket socket = Sockets::accept(listener);
    if (socket == Sockets::kNoSocket) {
        return false;  // gone again before it was taken, or an error the next wait meets
    }
    Sockets::serve(socket);
    Sockets::close(listener);
    listener = Sockets::kNoSocket;
    connection.store(socket, std::memory_order_release);
    return true;
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const noexcept { ::freeaddrinfo(list); }
};

template <typename Sockets>
OpenOutcome<TcpLine> OpenTcpLine(std::string_view name) {
    std::optional<TcpLineName> parts = ParseTcpLineName(name);
    if (!parts) {
        return OpenOutcome<TcpLine>(
            OpenError{Sockets::kMalformedName, std::string(kTcpLineNameForm)});
    }
    using State = typename Sockets::State;
    std::unique_ptr<State, TcpLine::StateDeleter> state(new State);
    int error = 0;
    TcpLine::CancelSignalsPointer signals = TcpLine::make_cancel_signals(&error);
    if (!signals) {
        return OpenOutcome<TcpLine>(SystemOpenError(error));
    }
    if (const int start_error = Sockets::start(*state); start_error != 0) {
        return OpenOutcome<TcpLine>(SystemOpenError(start_error));
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (parts->listen ? AI_PASSIVE : 0);
    addrinfo* found = nullptr;
    const std::string port = std::to_string(parts->port);
    if (const int rc = ::getaddrinfo(parts->host.c_str(), port.c_str(), &hints, &found); rc != 0) {
        return OpenOutcome<TcpLine>(Sockets::resolution_failure(rc, parts->host));
    }
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
    error = Sockets::kNoAddress;
    const auto deadline = std::chrono::steady_clock::now() + TcpLine::kConnectLimit;
    for (const addrinfo* a = addresses.get(); a != nullptr; a = a->ai_next) {
        if (!parts->listen) {
            const typename Sockets::Socket socket = Sockets::connect_to(*a, deadline, &error);
            if (socket == Sockets::kNoSocket) {
                continue;
            }
            state->connection.store(socket);
            return OpenOutcome<TcpLine>(TcpLine(std::move(signals), std::move(state), false, {}));
        }
        state->listener =
            Sockets::listen_on(*state, a->ai_addr, static_cast<socklen_t>(a->ai_addrlen), &error);
        if (state->listener == Sockets::kNoSocket) {
            continue;
        }
        auto* address = reinterpret_cast<sockaddr*>(&state->address);
        state->address_size = sizeof state->address;
        ::getsockname(state->listener, address, &state->address_size);
        std::string where = NumericAddress(address, state->address_size);
        return OpenOutcome<TcpLine>(
            TcpLine(std::move(signals), std::move(state), true, std::move(where)));
    }
    return OpenOutcome<TcpLine>(SystemOpenError(error));
}

}  // namespace platform
