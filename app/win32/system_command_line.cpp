#include "app/win32/system_command_line.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>
// shellapi.h needs what windows.h defines.
#include <shellapi.h>

namespace kadro {

std::vector<std::string> SystemCommandLine(
    const std::function<std::string(std::u16string_view)>& convert) {
    std::vector<std::string> words;
    int count = 0;
    LPWSTR* parsed = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (parsed == nullptr) {
        return words;
    }
    for (int i = 0; i < count; ++i) {
        const std::wstring_view word = parsed[i];
        words.push_back(convert(std::u16string(word.begin(), word.end())));
    }
    ::LocalFree(parsed);
    return words;
}

}  // namespace kadro
