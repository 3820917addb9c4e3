#include "platform/system_error.h"

#include <array>
#include <string_view>

#include "platform/text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {

std::string SystemErrorText(std::uint32_t code) {
    std::array<wchar_t, 512> text{};
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, text.data(), static_cast<DWORD>(text.size()), nullptr);
    std::wstring_view message(text.data(), length);
    while (!message.empty() &&
           (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ')) {
        message.remove_suffix(1);
    }
    if (message.empty()) {
        return "error " + std::to_string(code);
    }
    // A message is shown to a person, so it goes to the code page like every other text; only
    // file names keep a UTF-8 form for characters the code page lacks.
    return Utf16ToAnsi(std::u16string(message.begin(), message.end()));
}

}  // namespace platform
