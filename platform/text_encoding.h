#pragma once
// Character conversions between the window system's byte strings, UTF-8 and UTF-16.
//
// The byte strings are in the ANSI code page, taken as Windows-1252: bytes 0x00..0x7F and
// 0xA0..0xFF are the Latin-1 characters of the same value; 0x80..0x9F hold the euro sign,
// typographic quotes and the like. The five bytes the code page leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) read as the control characters of the same value, so every byte converts.
//
// Failure behaviour, per function:
//   - byte to code point, ANSI to UTF-8 / UTF-16 and UTF-16 to UTF-8 cannot fail. A lone
//     surrogate in UTF-16 is written as the three bytes its value encodes to.
//   - CodePointToAnsi gives nullopt for a code point the code page cannot hold; it gives back
//     the undefined bytes for U+0081 and the like, so text read through AnsiByteToCodePoint
//     converts back unchanged.
//   - Utf16ToAnsi writes '?' for every unit the code page cannot hold, and also for the five
//     control characters of the undefined bytes: the result holds defined characters only.
//   - Utf8ToUtf16 turns each byte that does not start a well-formed sequence into U+FFFD.
//   - IsValidUtf8 tells whether every sequence is well formed (lead byte, continuation bytes,
//     not cut short, in its shortest form, no surrogate, nothing beyond U+10FFFF), so that
//     valid text converts to UTF-16 and back unchanged.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The code point of one Windows-1252 byte.
char32_t AnsiByteToCodePoint(unsigned char byte);
// The Windows-1252 byte of a code point; nullopt when the code page has none.
std::optional<unsigned char> CodePointToAnsi(char32_t code_point);

std::u16string AnsiToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
bool IsValidUtf8(std::string_view text);

}  // namespace platform
