#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>
// shellapi.h needs what windows.h defines.
#include <shellapi.h>

// The program's own function of this name, not the system's narrow-or-wide macro.
#undef GetModuleFileName

namespace platform {

std::string GetModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true) {
        DWORD length =
            ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return TextFromUtf16(AsUtf16(std::wstring_view(buffer.data(), length)));
        }
        if (buffer.size() >= 32768) {
            return {};  // longer than any path the system can hold
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ShellOpen(const std::string& target) {
    // Values above 32 mean the handler was started.
    auto result = reinterpret_cast<INT_PTR>(::ShellExecuteW(
        nullptr, L"open", AsWide(TextToUtf16(target)).c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

unsigned SetErrorMode(unsigned mode) {
    return ::SetErrorMode(mode);
}

}  // namespace platform
