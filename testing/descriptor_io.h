#pragma once
// The loops that move bytes through the test's end of a line, one descriptor at a time: shared
// by the pseudo-terminal pair and the TCP peer.
//
// Contract:
// - SendAll hands all of `bytes` to `write_some` (called with what is left, answering like
//   write(2): the count taken, or -1 with errno set), again after EINTR; throws
//   std::runtime_error(failure) when a call fails or takes nothing.
// - ReceiveUpTo reads up to `count` bytes from `fd`; stops early at the end of the stream, on a
//   read error, or when nothing arrives for `idle_ms` (a guard against hanging, not a timing
//   check).

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kadro::test {

template <typename WriteSome>
void SendAll(std::string_view bytes, WriteSome write_some, const char* failure) {
    while (!bytes.empty()) {
        ssize_t n = write_some(bytes);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            throw std::runtime_error(failure);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

inline std::string ReceiveUpTo(int fd, std::size_t count, int idle_ms) {
    std::string out;
    char buffer[8192];
    while (out.size() < count) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, idle_ms) <= 0) {
            break;
        }
        ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - out.size()));
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace kadro::test
