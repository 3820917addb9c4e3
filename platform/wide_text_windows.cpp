#include "platform/wide_text_windows.h"

#include <algorithm>

#include "platform/text_encoding.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the system's wide characters are UTF-16");

std::wstring ToWide(std::string_view text) {
    bool high = std::any_of(text.begin(), text.end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    std::u16string wide = high && IsValidUtf8(text) ? Utf8ToUtf16(text) : AnsiToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string FromWide(std::wstring_view text) {
    std::u16string wide(text.begin(), text.end());
    bool fits = std::all_of(wide.begin(), wide.end(),
                            [](char16_t c) { return CodePointToAnsi(c).has_value(); });
    return fits ? Utf16ToAnsi(wide) : Utf16ToUtf8(wide);
}

}  // namespace platform
