#include "platform/win32/wide_text.h"

#include <algorithm>

#include "platform/file_name_text.h"
#include "platform/text_encoding.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the system's wide characters are UTF-16");

std::wstring ToWide(std::string_view text) {
    // The same reading as for names on a UTF-8 file system, so a name reaches the same file on
    // both systems (code-page text such as "\xC3\xA9" stays two characters).
    std::u16string wide = Utf8ToUtf16(FileNameToUtf8(text));
    return std::wstring(wide.begin(), wide.end());
}

std::string FromWide(std::wstring_view text) {
    std::u16string wide(text.begin(), text.end());
    bool fits = std::all_of(wide.begin(), wide.end(),
                            [](char16_t c) { return CodePointToAnsi(c).has_value(); });
    return fits ? Utf16ToAnsi(wide) : Utf16ToUtf8(wide);
}

std::optional<std::string> NameFromWide(std::wstring_view name) {
    std::string text = FromWide(name);
    if (ToWide(text) != name) {
        return std::nullopt;
    }
    return text;
}

}  // namespace platform
