#pragma once
// Private to posix/: the waits of a line (serial device, TCP connection) and the eventfds its
// cancel() and interrupt() raise.
//
// PollRetrying(fds, count, timeout_ms): poll() that goes on after a signal, with what is left of
// the time (negative: no limit); poll's result otherwise.
// CallRetrying(call): runs `call`, a read or write of the line's descriptor, again for as long as
// a signal interrupts it (-1 with errno EINTR); its result otherwise.
// RaiseCancel(fd): makes the eventfd readable for good; every later wait on it ends at once.
// ClearCancel(fd): makes it unreadable again. WaitForCancel(fd, milliseconds): true when it is
// readable within the time (negative: no limit).
// An interrupt's eventfd is raised the same way (RaiseCancel) and taken by the one wait it ends:
// TakeInterrupt(fd) makes it unreadable and says whether it was raised. None fails otherwise.
// MillisecondsUntil(deadline): the time left for a poll, 0 once passed, never negative (which
// would mean no limit).

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>

namespace platform {

inline int PollRetrying(pollfd* fds, nfds_t count, int timeout_ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    while (true) {
        const int rc = ::poll(fds, count, timeout_ms);
        if (rc >= 0 || errno != EINTR) {
            return rc;
        }
        if (timeout_ms > 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            timeout_ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
        }
    }
}

template <typename Call>
auto CallRetrying(Call call) {
    while (true) {
        const auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

inline int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<std::int64_t>(left.count(), 0, INT32_MAX));
}

inline void RaiseCancel(int fd) {
    std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(fd, &one, sizeof one);
}

inline void ClearCancel(int fd) {
    std::uint64_t count = 0;
    [[maybe_unused]] auto taken = ::read(fd, &count, sizeof count);
}

inline bool TakeInterrupt(int fd) {
    std::uint64_t count = 0;
    return ::read(fd, &count, sizeof count) == sizeof count;
}

inline bool WaitForCancel(int fd, int milliseconds) {
    pollfd p{fd, POLLIN, 0};
    return PollRetrying(&p, 1, milliseconds) > 0;
}

}  // namespace platform
