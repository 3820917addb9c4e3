#pragma once
// Private to the Windows backends (win32/ and user32/): the system's wide strings.
//
// Every narrow string the program hands to the system, and every one it takes back, crosses
// through the program's one conversion rule (TextToUtf16, TextFromUtf16 and NameFromUtf16 of
// platform/text.h); no Windows file converts through the system's own code page (CP_ACP), so the
// accented letters of the messages and of a file name show and open the same whatever code page
// the system runs with. The system's wide characters are UTF-16 code units, so AsWide and
// AsUtf16 change only the character type of a string and never its units. They cannot fail.

#include <string>
#include <string_view>

#include "platform/text.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "the system's wide characters are UTF-16");

inline std::wstring AsWide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

inline std::u16string AsUtf16(std::wstring_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace platform
