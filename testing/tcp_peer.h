#pragma once
// The far end of a TCP line for tests and benchmarks, on loopback only and on ports the system
// chooses (tests run in parallel): a listener whose port a line under test connects to, and a
// connection that sends, receives, closes or resets.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "testing/descriptor_io.h"

namespace kadro::test {

inline sockaddr_in loopback(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

class TcpPeer {
  public:
    explicit TcpPeer(int fd = -1) : m_fd(fd) {}
    TcpPeer(TcpPeer&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    TcpPeer& operator=(TcpPeer&& other) noexcept {
        std::swap(m_fd, other.m_fd);
        return *this;
    }
    ~TcpPeer() { close(); }

    // Connects to 127.0.0.1:port; an unconnected peer (fd() < 0, errno kept) when refused.
    // `receive_buffer` > 0 makes the peer's receive window small, so a writer that is not read
    // soon waits.
    static TcpPeer connect(std::uint16_t port, int receive_buffer = 0) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receive_buffer > 0) {
            ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        }
        sockaddr_in address = loopback(port);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return TcpPeer();
        }
        return TcpPeer(fd);
    }

    int fd() const { return m_fd; }

    void send(std::string_view bytes) const {
        SendAll(
            bytes,
            [this](std::string_view rest) {
                return ::send(m_fd, rest.data(), rest.size(), MSG_NOSIGNAL);
            },
            "send to the line under test failed");
    }

    // Up to `count` bytes; stops early at the end of the stream or when nothing arrives for
    // `idle_ms` (a guard against hanging, not a timing check).
    std::string receive(std::size_t count, int idle_ms = 10000) const {
        return ReceiveUpTo(m_fd, count, idle_ms);
    }

    void close() {
        if (m_fd >= 0) {
            ::close(std::exchange(m_fd, -1));
        }
    }

    // Ends the connection with a reset instead of an orderly close.
    void reset() {
        linger abort{1, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        close();
    }

  private:
    int m_fd;
};

// A listening socket on 127.0.0.1 and a port the system chose.
class TcpListener {
  public:
    // `receive_buffer` > 0: the accepted connections read through a small window.
    explicit TcpListener(int receive_buffer = 0) {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receive_buffer > 0) {
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
        }
        sockaddr_in address = loopback(0);
        socklen_t size = sizeof address;
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(m_fd, 4) != 0 ||
            ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
            ::close(m_fd);
            throw std::runtime_error("cannot listen on loopback");
        }
        m_port = ntohs(address.sin_port);
    }
    ~TcpListener() { ::close(m_fd); }
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    std::uint16_t port() const { return m_port; }
    std::string line_name() const { return "tcp:127.0.0.1:" + std::to_string(m_port); }

    // The next connection, waiting at most `timeout_ms`; unconnected when none came.
    TcpPeer accept(int timeout_ms = 10000) const {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) {
            return TcpPeer();
        }
        return TcpPeer(::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC));
    }

  private:
    int m_fd = -1;
    std::uint16_t m_port = 0;
};

}  // namespace kadro::test
