#pragma once
// The terminal a console program runs in: its two output streams, the operator's keyboard and
// the system's requests to stop. Private to platform/console/; each system has its own file
// (posix/terminal_posix.cpp: termios and signals; win32/terminal_windows.cpp: the console API
// and a console control handler).
//
// Contract:
// - At most one Terminal at a time, made and used on the interface thread; only wake() and the
//   stop request's own sources (signal handlers, the console's control handler thread) act from
//   elsewhere.
// - Made: standard output and standard error are examined (a terminal or not, its width); the
//   keyboard of the controlling terminal (POSIX: /dev/tty while the program is in its
//   foreground; Windows: the console's input) is put in a mode that hands over each key as it
//   is typed without echoing it, keeping the keys that raise signals as they are; the stop
//   requests are installed: POSIX SIGINT, SIGTERM and SIGHUP (SIGPIPE is ignored, so that a
//   closed output only fails its writes); Windows Ctrl-C, Ctrl-Break, the console closing, log-off
//   and shut-down. Nothing of it fails: without a controlling terminal there is no keyboard,
//   and a mode that cannot be set leaves the keyboard as it was.
// - A stop request is Escape typed on that keyboard, or one of those signals or events. It is
//   latched: stop_requested() stays true once it has been.
// - restore() (and the destructor) put back the keyboard's mode and the previous signal
//   handling, and are safe to call again. A console closing waits for it (up to a few seconds)
//   so that the program can let its port go before the system ends the process.
// - write_out / write_err take the program's text (Windows-1252, platform/text.h) with "\n" for
//   a line end and write it whole in the encoding of the place it goes: UTF-8 to a POSIX
//   terminal, a file or a pipe; characters to a Windows console (whatever its code page), UTF-8
//   with CR LF line ends to a Windows file or pipe. A failed write (closed pipe, terminal gone)
//   is dropped.
// - wait(timeout) returns when a key was typed, a stop was requested, wake() was called or the
//   time-out passed; true unless the time-out passed. It reads what was typed.
// - read_keys() reads what has been typed without waiting.

#include <chrono>
#include <memory>
#include <string_view>

namespace platform::console {

class Terminal {
  public:
    Terminal();
    ~Terminal();
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;

    bool output_is_terminal() const;
    // Columns of the terminal standard output shows, 80 when it cannot be told.
    int output_columns() const;

    void write_out(std::string_view text);
    void write_err(std::string_view text);

    bool stop_requested() const;
    void read_keys();
    bool wait(std::chrono::milliseconds timeout);
    void wake();
    void restore();

    struct State;

  private:
    std::unique_ptr<State> m_state;
};

// True when `typed` (bytes read from a terminal at once) holds an Escape key press: an ESC byte
// that is the last one read or is followed by another ESC. An ESC followed by anything else
// starts the sequence of another key (an arrow, a function key) and is not Escape.
bool HoldsEscapeKey(std::string_view typed);

}  // namespace platform::console
