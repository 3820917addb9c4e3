#include <optional>

#include "app/serve/serve_command_line.h"
#include "platform/text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>
// shellapi.h needs what windows.h defines.
#include <shellapi.h>

namespace kadro::serve {

// The system's own command line, in characters: the narrow argv holds only what the system's
// code page can.
std::vector<std::string> ProgramArguments(int, char**) {
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* parsed = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (parsed == nullptr) {
        return arguments;
    }
    for (int i = 1; i < count; ++i) {
        std::wstring_view argument = parsed[i];
        const std::u16string wide(argument.begin(), argument.end());
        std::optional<std::string> text = platform::NameFromUtf16(wide);
        arguments.push_back(text ? std::move(*text) : platform::TextFromUtf16(wide));
    }
    ::LocalFree(parsed);
    return arguments;
}

}  // namespace kadro::serve
