// The terminal on Windows: the console's input for Escape, a console control handler for
// Ctrl-C, Ctrl-Break and the console closing, and an event that both the handler and wake() set,
// so that one wait covers keys, stops and wake-ups.

#include <array>
#include <atomic>
#include <string>

#include "platform/console/terminal.h"
#include "platform/text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform::console {
namespace {

// How long a console closing waits for the program to let its port go; the system ends the
// process soon after the handler returns.
constexpr DWORD kCloseGrace = 4000;

// What the control handler, on a thread of the system's, reaches.
std::atomic<bool> g_stop{false};
std::atomic<HANDLE> g_wake{nullptr};
std::atomic<HANDLE> g_finished{nullptr};

BOOL WINAPI on_control(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            break;
        default:
            return FALSE;
    }
    g_stop.store(true);
    if (HANDLE wake = g_wake.load()) {
        ::SetEvent(wake);
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        // The process ends when this returns: let the program stop serving first.
        if (HANDLE finished = g_finished.load()) {
            ::WaitForSingleObject(finished, kCloseGrace);
        }
    }
    return TRUE;
}

HANDLE console_handle(const wchar_t* name) {
    HANDLE handle =
        ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

bool is_console(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           ::GetConsoleMode(handle, &mode) != 0;
}

void write_to(DWORD which, std::string_view text) {
    HANDLE handle = ::GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    if (is_console(handle)) {
        // A console shows characters, whatever its code page.
        const std::u16string wide = AnsiToUtf16(text);
        DWORD written = 0;
        ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    // A file or a pipe gets UTF-8 text with the system's line ends.
    std::string bytes;
    for (char c : AnsiToUtf8(text)) {
        if (c == '\n') {
            bytes += '\r';
        }
        bytes += c;
    }
    std::string_view rest = bytes;
    while (!rest.empty()) {
        DWORD written = 0;
        if (::WriteFile(handle, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) ==
                0 ||
            written == 0) {
            return;
        }
        rest.remove_prefix(written);
    }
}

}  // namespace

struct Terminal::State {
    bool out_is_terminal = false;
    HANDLE keyboard = nullptr;  // the console's input, when there is a console
    DWORD saved_mode = 0;
    bool mode_set = false;
    HANDLE wake = nullptr;
    HANDLE finished = nullptr;
    bool handler_set = false;
};

Terminal::Terminal() : m_state(std::make_unique<State>()) {
    State& s = *m_state;
    s.out_is_terminal = is_console(::GetStdHandle(STD_OUTPUT_HANDLE));
    s.wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    s.finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    s.keyboard = console_handle(L"CONIN$");
    if (s.keyboard != nullptr && ::GetConsoleMode(s.keyboard, &s.saved_mode) != 0) {
        // Keys as they are typed, without echo; Ctrl-C still reaches the control handler.
        const DWORD typed =
            (s.saved_mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) |
            ENABLE_PROCESSED_INPUT;
        s.mode_set = ::SetConsoleMode(s.keyboard, typed) != 0;
    } else if (s.keyboard != nullptr) {
        ::CloseHandle(s.keyboard);
        s.keyboard = nullptr;
    }
    g_stop.store(false);
    g_wake.store(s.wake);
    g_finished.store(s.finished);
    // A starter that ignores Ctrl-C passes that on to its children; here Ctrl-C is the stop.
    ::SetConsoleCtrlHandler(nullptr, FALSE);
    s.handler_set = ::SetConsoleCtrlHandler(on_control, TRUE) != 0;
}

Terminal::~Terminal() {
    restore();
    State& s = *m_state;
    g_wake.store(nullptr);
    g_finished.store(nullptr);
    for (HANDLE handle : {s.keyboard, s.wake, s.finished}) {
        if (handle != nullptr) {
            ::CloseHandle(handle);
        }
    }
}

void Terminal::restore() {
    State& s = *m_state;
    if (s.mode_set) {
        ::SetConsoleMode(s.keyboard, s.saved_mode);
        s.mode_set = false;
    }
    if (s.handler_set) {
        ::SetConsoleCtrlHandler(on_control, FALSE);
        s.handler_set = false;
    }
    if (s.finished != nullptr) {
        ::SetEvent(s.finished);
    }
}

bool Terminal::output_is_terminal() const {
    return m_state->out_is_terminal;
}

int Terminal::output_columns() const {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(::GetStdHandle(STD_OUTPUT_HANDLE), &info) != 0) {
        const int columns = info.srWindow.Right - info.srWindow.Left + 1;
        if (columns > 0) {
            return columns;
        }
    }
    return 80;
}

void Terminal::write_out(std::string_view text) {
    write_to(STD_OUTPUT_HANDLE, text);
}

void Terminal::write_err(std::string_view text) {
    write_to(STD_ERROR_HANDLE, text);
}

bool Terminal::stop_requested() const {
    return g_stop.load();
}

void Terminal::read_keys() {
    State& s = *m_state;
    if (s.keyboard == nullptr) {
        return;
    }
    std::array<INPUT_RECORD, 32> records{};
    for (;;) {
        DWORD waiting = 0;
        if (::GetNumberOfConsoleInputEvents(s.keyboard, &waiting) == 0 || waiting == 0) {
            return;
        }
        DWORD read = 0;
        if (::ReadConsoleInputW(s.keyboard, records.data(), static_cast<DWORD>(records.size()),
                                &read) == 0) {
            return;
        }
        for (DWORD i = 0; i < read; ++i) {
            const INPUT_RECORD& record = records[i];
            if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown &&
                record.Event.KeyEvent.wVirtualKeyCode == VK_ESCAPE) {
                g_stop.store(true);
            }
        }
    }
}

bool Terminal::wait(std::chrono::milliseconds timeout) {
    State& s = *m_state;
    const std::array<HANDLE, 2> handles{s.wake, s.keyboard};
    const DWORD result = ::WaitForMultipleObjects(s.keyboard != nullptr ? 2 : 1, handles.data(),
                                                  FALSE, static_cast<DWORD>(timeout.count()));
    // A wake-up alone leaves the keyboard unread: the bytes that wake the interface thread
    // should not cost it more calls on their way. Keys typed meanwhile end the next wait.
    if (result != WAIT_OBJECT_0) {
        read_keys();
    }
    return result != WAIT_TIMEOUT;
}

void Terminal::wake() {
    ::SetEvent(m_state->wake);
}

}  // namespace platform::console
