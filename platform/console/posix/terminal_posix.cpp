// The terminal on POSIX: termios for the keyboard of the controlling terminal, signals for the
// stop requests, and a pipe that both the signal handlers and wake() write to, so that one
// poll() waits for keys, signals and wake-ups together.

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>

#include "platform/console/terminal.h"
#include "platform/text.h"

namespace platform::console {
namespace {

constexpr std::array<int, 3> kStopSignals{SIGINT, SIGTERM, SIGHUP};

// What the signal handlers reach: only lock-free atomics and a descriptor.
std::atomic<bool> g_stop{false};
std::atomic<bool> g_continued{false};
std::atomic<int> g_wake_write{-1};
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int>::is_always_lock_free);

void poke(int fd) {
    if (fd >= 0) {
        const char byte = 0;
        // A full pipe already holds a wake-up: the byte is not needed.
        [[maybe_unused]] ssize_t written = ::write(fd, &byte, 1);
    }
}

void on_stop_signal(int) {
    const int saved = errno;
    g_stop.store(true);
    poke(g_wake_write.load());
    errno = saved;
}

void on_continue(int) {
    const int saved = errno;
    g_continued.store(true);
    poke(g_wake_write.load());
    errno = saved;
}

void write_whole(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

}  // namespace

struct Terminal::State {
    bool out_is_terminal = false;
    int keyboard = -1;  // /dev/tty, when the program has a controlling terminal
    bool keyboard_set = false;
    bool keyboard_gone = false;  // hung up: never polled again, or the poll would never block
    termios saved{};
    termios typed{};
    int wake_read = -1;
    int wake_write = -1;
    std::atomic<bool> wake_pending{false};
    std::array<struct sigaction, kStopSignals.size()> previous{};
    struct sigaction previous_pipe {};
    struct sigaction previous_continue {};
    bool handlers_set = false;

    // Reading or setting the terminal from a background process group would stop the program
    // (SIGTTIN, SIGTTOU): the keyboard is the program's only while it is in the foreground.
    bool in_foreground() const {
        return keyboard >= 0 && !keyboard_gone && ::tcgetpgrp(keyboard) == ::getpgrp();
    }

    void set_keyboard_mode() {
        if (in_foreground() && ::tcsetattr(keyboard, TCSANOW, &typed) == 0) {
            keyboard_set = true;
        }
    }

    // One read empties the pipe: wake() leaves at most one byte there and each stop signal one
    // more. A byte written meanwhile stays for the next wait, which then ends at once.
    void drain_wake_pipe() {
        std::array<char, 64> sink{};
        [[maybe_unused]] ssize_t taken = ::read(wake_read, sink.data(), sink.size());
        wake_pending.store(false);
    }
};

Terminal::Terminal() : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.out_is_terminal = ::isatty(STDOUT_FILENO) != 0;
    std::array<int, 2> fds{-1, -1};
    if (::pipe2(fds.data(), O_CLOEXEC | O_NONBLOCK) == 0) {
        s.wake_read = fds[0];
        s.wake_write = fds[1];
    }
    s.keyboard = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (s.keyboard >= 0 && ::tcgetattr(s.keyboard, &s.saved) == 0) {
        // Each key as it is typed, without echo; Ctrl-C and the like still raise their signals.
        s.typed = s.saved;
        s.typed.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
        s.typed.c_cc[VMIN] = 1;
        s.typed.c_cc[VTIME] = 0;
        s.set_keyboard_mode();
    } else if (s.keyboard >= 0) {
        ::close(s.keyboard);
        s.keyboard = -1;
    }

    g_stop.store(false);
    g_continued.store(false);
    g_wake_write.store(s.wake_write);
    struct sigaction stop {};
    stop.sa_handler = on_stop_signal;
    ::sigemptyset(&stop.sa_mask);
    // Interrupted system calls resume; the few that cannot (poll, sleeps) are retried by their
    // callers, so a track being written is never cut.
    stop.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
        ::sigaction(kStopSignals[i], &stop, &s.previous[i]);
    }
    struct sigaction resumed = stop;
    resumed.sa_handler = on_continue;
    ::sigaction(SIGCONT, &resumed, &s.previous_continue);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, &s.previous_pipe);
    s.handlers_set = true;
}

Terminal::~Terminal() {
    restore();
    State& s = *m_state;
    g_wake_write.store(-1);
    for (int fd : {s.keyboard, s.wake_read, s.wake_write}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Terminal::restore() {
    State& s = *m_state;
    if (s.keyboard_set) {
        // Set back even from the background (the shell may have moved the program there):
        // SIGTTOU, ignored for the call, would otherwise stop the program here.
        struct sigaction ignore {};
        struct sigaction before {};
        ignore.sa_handler = SIG_IGN;
        ::sigemptyset(&ignore.sa_mask);
        ::sigaction(SIGTTOU, &ignore, &before);
        ::tcsetattr(s.keyboard, TCSANOW, &s.saved);
        ::sigaction(SIGTTOU, &before, nullptr);
        s.keyboard_set = false;
    }
    if (s.handlers_set) {
        for (std::size_t i = 0; i < kStopSignals.size(); ++i) {
            ::sigaction(kStopSignals[i], &s.previous[i], nullptr);
        }
        ::sigaction(SIGCONT, &s.previous_continue, nullptr);
        ::sigaction(SIGPIPE, &s.previous_pipe, nullptr);
        s.handlers_set = false;
    }
}

bool Terminal::output_is_terminal() const {
    return m_state->out_is_terminal;
}

int Terminal::output_columns() const {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

void Terminal::write_out(std::string_view text) {
    write_whole(STDOUT_FILENO, AnsiToUtf8(text));
}

void Terminal::write_err(std::string_view text) {
    write_whole(STDERR_FILENO, AnsiToUtf8(text));
}

bool Terminal::stop_requested() const {
    return g_stop.load();
}

void Terminal::read_keys() {
    State& s = *m_state;
    if (g_continued.exchange(false) && s.keyboard_set) {
        // Back in the foreground after a stop (Ctrl-Z, fg): the shell has set its own mode.
        s.set_keyboard_mode();
    }
    if (!s.keyboard_set || !s.in_foreground()) {
        return;
    }
    std::array<char, 64> typed{};
    for (;;) {
        const ssize_t n = ::read(s.keyboard, typed.data(), typed.size());
        if (n == 0 || (n < 0 && errno == EIO)) {
            s.keyboard_gone = true;
        }
        if (n <= 0) {
            return;
        }
        if (HoldsEscapeKey(std::string_view(typed.data(), static_cast<std::size_t>(n)))) {
            g_stop.store(true);
        }
    }
}

bool Terminal::wait(std::chrono::milliseconds timeout) {
    State& s = *m_state;
    std::array<pollfd, 2> fds{{{s.wake_read, POLLIN, 0}, {-1, POLLIN, 0}}};
    if (s.keyboard_set && s.in_foreground()) {
        fds[1].fd = s.keyboard;
    }
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(timeout.count()));
    if ((fds[0].revents & POLLIN) != 0) {
        s.drain_wake_pipe();
    }
    if ((fds[1].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        s.keyboard_gone = true;
    }
    // A wake-up alone leaves the keyboard unread: the bytes that wake the interface thread
    // should not cost it three system calls more on their way.
    if (ready < 0 || fds[1].revents != 0 || g_continued.load()) {
        read_keys();
    }
    // Interrupted by a signal: whatever it was (a stop, a resume) is to be looked at now.
    return ready != 0;
}

void Terminal::wake() {
    State& s = *m_state;
    if (!s.wake_pending.exchange(true)) {
        poke(s.wake_write);
    }
}

}  // namespace platform::console
