#include <string>

#include "platform/environment.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {

std::optional<std::string> FileNameFromEnvironment(const char* variable) {
    const std::wstring name = AsWide(TextToUtf16(variable));
    // The size asked for includes the terminator; a value that changes in between is read
    // again with the new size.
    std::wstring value(64, L'\0');
    while (true) {
        ::SetLastError(ERROR_SUCCESS);
        const DWORD length =
            ::GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return NameFromUtf16(AsUtf16(value));
        }
        value.resize(length);
    }
}

}  // namespace platform
