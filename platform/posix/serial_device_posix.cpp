#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>

#include "platform/serial_device.h"

#include "platform/posix/cancel_signal.h"
#include "platform/posix/kernel_device_tree.h"
#include "platform/posix/line_signals.h"
#include "platform/posix/open_failure.h"
#include "platform/serial_settings.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace platform {

// The terminal.
struct SerialDevice::State {
    int fd = -1;

    explicit State(int terminal) : fd(terminal) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State() {
        // Exclusive mode belongs to the terminal, not to this descriptor: give it back so the
        // next opener is not refused while someone else still holds the terminal.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
    }
};

void SerialDevice::StateDeleter::operator()(State* state) const noexcept {
    delete state;
}

namespace {

// Closes a descriptor unless released; keeps open() free of half-open states.
class FdGuard {
  public:
    explicit FdGuard(int fd) : m_fd(fd) {}
    ~FdGuard() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FdGuard(const FdGuard&) = delete;
    FdGuard& operator=(const FdGuard&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

  private:
    int m_fd;
};

// Raw, transparent line keeping the current speed: what a freshly opened port must give until
// line settings arrive.
void make_raw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        return;
    }
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &t);
}

}  // namespace

std::string SerialDevicePath(std::string_view name) {
    constexpr std::string_view kDevicePrefix = "\\\\.\\";
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        name.remove_prefix(kDevicePrefix.size());
    }
    if (name.empty()) {
        return {};
    }
    if (name.front() == '/') {
        return std::string(name);
    }
    if (name.size() > 3 && EqualsIgnoringCase(name.substr(0, 3), "COM") && name[3] != '0') {
        unsigned number = 0;
        auto digits = name.substr(3);
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (ec == std::errc{} && end == digits.data() + digits.size() && number >= 1 &&
            number <= 256) {
            return "/dev/ttyS" + std::to_string(number - 1);
        }
    }
    return "/dev/" + std::string(name);
}

SerialDevice::OpenResult SerialDevice::open(std::string_view name) {
    std::string path = TextToUtf8(SerialDevicePath(name));
    auto fail = [&path](int error_number) {
        return OpenResult(detail::OpenFailure(path, error_number));
    };
    if (path.empty()) {
        return fail(ENOENT);
    }
    // Such a UART opens, then fails every transfer: refuse it before touching it.
    struct stat node {};
    if (::stat(path.c_str(), &node) == 0 && S_ISCHR(node.st_mode) &&
        detail::IsSerialPortWithoutHardware("/", major(node.st_rdev), minor(node.st_rdev))) {
        SerialOpenFailure failure = detail::OpenFailure(path, ENXIO);
        failure.problem = SerialOpenProblem::kNoHardware;
        return OpenResult(std::move(failure));
    }
    FdGuard fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
        return fail(errno);
    }
    if (::isatty(fd.get()) == 0) {
        return fail(ENOTTY);
    }
    // Exclusive mode does not stop a privileged opener; the advisory lock stops every other
    // instance of this program, root included.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        return fail(errno == EWOULDBLOCK ? EBUSY : errno);
    }
    if (::ioctl(fd.get(), TIOCEXCL) != 0) {
        return fail(errno);
    }
    int error_number = 0;
    CancelSignalsPointer signals = make_cancel_signals(&error_number);
    if (!signals) {
        ::ioctl(fd.get(), TIOCNXCL);
        return fail(error_number);
    }
    make_raw(fd.get());
    std::unique_ptr<State, StateDeleter> state(new State(fd.get()));
    fd.release();
    return OpenResult(SerialDevice(std::move(signals), std::move(state), std::move(path)));
}

void SerialDevice::recommend_queue_sizes(std::uint16_t input, std::uint16_t output) {
    Line::recommend_queue_sizes(input, output);  // terminals have no such setting
}

bool SerialDevice::raise_dtr() {
    int bits = TIOCM_DTR;
    return ::ioctl(m_state->fd, TIOCMBIS, &bits) == 0;
}

InputWait SerialDevice::wait_for_input(ReadFailure* failure) const {
    // The poll flags carry no reason: a hang-up is told without one.
    auto hung_up = [failure] {
        if (failure != nullptr) {
            *failure = {LineFault::kHungUp, {}};
        }
        return InputWait::HungUp;
    };
    std::array<pollfd, 3> fds{{{signals().cancel_fd, POLLIN, 0},
                               {signals().interrupt_fd, POLLIN, 0},
                               {m_state->fd, POLLIN, 0}}};
    if (PollRetrying(fds.data(), fds.size(), -1) < 0) {
        return hung_up();
    }
    if ((fds[0].revents & POLLIN) != 0) {
        return InputWait::Cancelled;
    }
    if ((fds[1].revents & POLLIN) != 0 && TakeInterrupt(signals().interrupt_fd)) {
        return InputWait::Interrupted;
    }
    // A hung-up terminal also reports itself readable; bytes still queued come first.
    bool failed = (fds[2].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    if ((fds[2].revents & POLLIN) != 0 && (!failed || waiting() > 0)) {
        return InputWait::Ready;
    }
    return hung_up();
}

void SerialDevice::wait_for_cancel() const {
    wait_for_cancel_for(-1);
}

std::size_t SerialDevice::waiting() const {
    int count = 0;
    if (::ioctl(m_state->fd, FIONREAD, &count) != 0 || count < 0) {
        return 0;
    }
    return static_cast<std::size_t>(count);
}

std::ptrdiff_t SerialDevice::read(std::uint8_t* buffer, std::size_t size,
                                  ReadFailure* failure) const {
    const ssize_t n = CallRetrying([&] { return ::read(m_state->fd, buffer, size); });
    if (n > 0) {
        return n;
    }
    if (n == 0) {
        if (size != 0 && failure != nullptr) {
            *failure = {LineFault::kHungUp, {}};
        }
        return size == 0 ? 0 : -1;  // end of file: the terminal was hung up
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return 0;
    }
    if (failure != nullptr) {
        // A terminal whose far end went away reports EIO.
        *failure = {errno == EIO ? LineFault::kHungUp : LineFault::kFailed, SystemErrorText(errno)};
    }
    return -1;
}

namespace {

using Clock = std::chrono::steady_clock;

int bytes_queued_for_output(int fd) {
    int queued = 0;
    return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
}

// A failed write on a terminal the far end has closed reports EIO; the poll flags tell the
// hang-up from other device errors.
bool is_hung_up(int fd) {
    pollfd probe{fd, 0, 0};
    return PollRetrying(&probe, 1, 0) > 0 && (probe.revents & POLLHUP) != 0;
}

WriteResult ended(std::size_t written, LineFault fault, std::string reason = {}) {
    return {written, fault, std::move(reason)};
}

WriteResult failed_with(int fd, std::size_t written, int error_number) {
    if (error_number == EIO && is_hung_up(fd)) {
        return ended(written, LineFault::kHungUp, SystemErrorText(error_number));
    }
    return ended(written, LineFault::kFailed, SystemErrorText(error_number));
}

}  // namespace

WriteResult SerialDevice::write(const std::uint8_t* data, std::size_t size) const {
    // The stall limit counts from the last byte that moved: a line that drains, however slowly,
    // is waited for; one that takes nothing for the whole limit will not take the rest either.
    auto deadline = Clock::now() + stall_limit();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n =
            CallRetrying([&] { return ::write(m_state->fd, data + done, size - done); });
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            deadline = Clock::now() + stall_limit();
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            std::array<pollfd, 2> fds{
                {{signals().cancel_fd, POLLIN, 0}, {m_state->fd, POLLOUT, 0}}};
            int ready = PollRetrying(fds.data(), fds.size(), MillisecondsUntil(deadline));
            if (ready < 0) {
                return failed_with(m_state->fd, done, errno);
            }
            if (ready == 0) {
                // What the driver took stays queued for a far end that may read it later.
                return ended(done, LineFault::kStalled);
            }
            if ((fds[0].revents & POLLIN) != 0) {
                return ended(done, LineFault::kFailed, SystemErrorText(ECANCELED));
            }
            if ((fds[1].revents & POLLHUP) != 0) {
                return ended(done, LineFault::kHungUp);
            }
            if ((fds[1].revents & (POLLERR | POLLNVAL)) != 0) {
                return ended(done, LineFault::kFailed, SystemErrorText(EIO));
            }
            continue;
        }
        return failed_with(m_state->fd, done, n < 0 ? errno : EIO);
    }
    // Wait for the driver's queue to empty, as a drain would, with the same stall limit.
    int last_queued = -1;
    while (size > 0) {
        int queued = bytes_queued_for_output(m_state->fd);
        if (queued <= 0) {
            return ended(done, LineFault::kNone);
        }
        if (last_queued < 0 || queued < last_queued) {
            deadline = Clock::now() + stall_limit();
            last_queued = queued;
        }
        int wait_ms = MillisecondsUntil(deadline);
        if (wait_ms == 0) {
            // What is still queued will not go out: drop it and report only what left.
            ::tcflush(m_state->fd, TCOFLUSH);
            return ended(done - std::min(done, static_cast<std::size_t>(queued)),
                         LineFault::kStalled);
        }
        std::array<pollfd, 2> fds{{{signals().cancel_fd, POLLIN, 0}, {m_state->fd, 0, 0}}};
        if (PollRetrying(fds.data(), fds.size(), std::min(wait_ms, 2)) > 0) {
            if ((fds[0].revents & POLLIN) != 0) {
                return ended(done, LineFault::kFailed, SystemErrorText(ECANCELED));
            }
            if ((fds[1].revents & POLLHUP) != 0) {
                return ended(done - std::min(done, static_cast<std::size_t>(queued)),
                             LineFault::kHungUp);
            }
        }
    }
    return ended(done, LineFault::kNone);
}

bool SerialDevice::apply(const DCB& dcb) {
    return ApplySerialSettings(m_state->fd, dcb);
}

}  // namespace platform
