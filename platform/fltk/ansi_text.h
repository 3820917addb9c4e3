#pragma once
// Conversions between the window system's byte strings (the ANSI code page, Windows-1252) and
// the UTF-8 text that the screen toolkit draws and reports.
//
// Contract: every byte converts (the five bytes that Windows-1252 leaves undefined become the
// control characters U+0081, U+008D, U+008F, U+0090 and U+009D, as the platform's own
// conversion does). The way back is partial: a code point without a Windows-1252 byte gives
// nullopt, and so does text that is not exactly one well-formed UTF-8 character.
//
// The code page itself lives in platform/text_encoding.h; the screen display reaches its
// conversions under these names.

#include <optional>
#include <string_view>

#include "platform/text_encoding.h"

namespace platform::screen {

using platform::AnsiByteToCodePoint;
using platform::AnsiToUtf8;
using platform::CodePointToAnsi;

// The single character that `utf8` holds, as a Windows-1252 byte; nullopt when `utf8` is empty,
// malformed, holds more than one character or one outside the code page.
std::optional<unsigned char> Utf8CharToAnsi(std::string_view utf8);

}  // namespace platform::screen
