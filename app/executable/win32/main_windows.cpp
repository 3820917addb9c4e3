// The kadro program on Windows: a desktop (GUI subsystem) executable. The real window system
// shows every window and turns input into messages, so there is no display to attach.
//
// A desktop program gets no console of its own, so --help, --version, --list-ports and the note
// about ignored arguments go where its starter can read them: to the standard handles it was given
// (output redirected to a file or a pipe), else to the console of the process that started it.
// Started from the desktop there is neither, and the text goes nowhere. Without arguments nothing
// of this is touched: the program starts exactly as it always did.

#include <string>
#include <string_view>
#include <vector>

#include "app/executable/command_line.h"
#include "app/main_program.h"
#include "app/win32/system_command_line.h"
#include "platform/serial_port_list.h"
#include "platform/text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace {

// The starter's place for one kind of output (standard output or standard error), found when
// first written to; the borrowed console is given back when the object goes.
class TerminalOutput {
  public:
    TerminalOutput() = default;
    TerminalOutput(const TerminalOutput&) = delete;
    TerminalOutput& operator=(const TerminalOutput&) = delete;
    ~TerminalOutput() {
        if (m_console != INVALID_HANDLE_VALUE) {
            ::CloseHandle(m_console);
        }
        if (m_attached) {
            ::FreeConsole();
        }
    }

    // Writes UTF-8 `text` to the handle `which` (STD_OUTPUT_HANDLE / STD_ERROR_HANDLE).
    void write(DWORD which, std::string_view text) {
        HANDLE target = given_handle(which);
        if (target == nullptr) {
            target = parent_console();
        }
        if (target == nullptr) {
            return;
        }
        DWORD mode = 0;
        if (::GetConsoleMode(target, &mode) != 0) {
            // A console shows characters, whatever its code page.
            const std::u16string wide = platform::Utf8ToUtf16(text);
            DWORD written = 0;
            ::WriteConsoleW(target, wide.data(), static_cast<DWORD>(wide.size()), &written,
                            nullptr);
            return;
        }
        // A file or a pipe gets the bytes, UTF-8 as on Linux.
        DWORD written = 0;
        ::WriteFile(target, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }

  private:
    // The handle the starter passed, when it passed one that leads somewhere.
    static HANDLE given_handle(DWORD which) {
        HANDLE handle = ::GetStdHandle(which);
        if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
            return nullptr;
        }
        return ::GetFileType(handle) == FILE_TYPE_UNKNOWN ? nullptr : handle;
    }

    // The console of the process that started this one, borrowed on first use.
    HANDLE parent_console() {
        if (m_console == INVALID_HANDLE_VALUE && !m_tried) {
            m_tried = true;
            m_attached = ::AttachConsole(ATTACH_PARENT_PROCESS) != 0;
            if (m_attached) {
                m_console = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
            }
        }
        return m_console == INVALID_HANDLE_VALUE ? nullptr : m_console;
    }

    HANDLE m_console = INVALID_HANDLE_VALUE;
    bool m_tried = false;
    bool m_attached = false;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // In UTF-8: they are only ever echoed.
    const std::vector<std::string> arguments = kadro::SystemCommandLine(
        [](std::u16string_view word) { return platform::Utf16ToUtf8(word); });
    if (arguments.size() > 1) {
        std::vector<const char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(argument.c_str());
        }
        const kadro::CommandLine line =
            kadro::ReadCommandLine(static_cast<int>(argv.size()), argv.data());
        TerminalOutput terminal;
        switch (line.request) {
            case kadro::CommandLineRequest::Help:
                terminal.write(STD_OUTPUT_HANDLE, kadro::HelpText());
                return 0;
            case kadro::CommandLineRequest::Version:
                terminal.write(STD_OUTPUT_HANDLE, kadro::VersionText(KADRO_VERSION));
                return 0;
            case kadro::CommandLineRequest::ListPorts:
                terminal.write(STD_OUTPUT_HANDLE,
                               platform::SerialPortListText(platform::ListSerialPorts()));
                return 0;
            case kadro::CommandLineRequest::Run:
                break;
        }
        terminal.write(STD_ERROR_HANDLE, kadro::IgnoredArgumentsNote(line.ignored));
        // The console, if one was borrowed, is given back before the window opens.
    }
    return kadro::RunProgram();
}
