#pragma once
// Text at the boundary of the system's wide-character calls (Windows side only).
//
// The program's strings are bytes in the ANSI code page (Windows-1252, see text_encoding.h),
// except a path the file chooser returned with a character the code page cannot hold, which is
// UTF-8. The conversions follow the chooser's rule, so every name it returns converts back to
// the same name, whatever code page the system itself uses:
//  - ToWide reads the bytes as FileNameToUtf8 (file_name_text.h) does: as UTF-8 when they are
//    valid UTF-8 holding a character beyond U+00FF, otherwise as Windows-1252. It cannot fail.
//  - FromWide gives one Windows-1252 byte per character when the code page holds them all,
//    otherwise UTF-8. It cannot fail.

#include <string>
#include <string_view>

namespace platform {

std::wstring ToWide(std::string_view text);
std::string FromWide(std::wstring_view text);

}  // namespace platform
