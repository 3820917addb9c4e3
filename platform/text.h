#pragma once
// The program's text and every conversion it goes through, on both systems.
//
// The program's text is a byte string in its code page, Windows-1252 ("ANSI"): bytes
// 0x00..0x7F and 0xA0..0xFF are the Latin-1 characters of the same value; 0x80..0x9F hold the
// euro sign, typographic quotes and the like. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) read as the control characters of the same value, so every
// byte converts. The one exception is a file name the chooser handed back with a character the
// code page lacks: that name is UTF-8 (ui/file_chooser.h).
//
// Code page and Unicode forms (they cannot fail unless stated):
//  - AnsiByteToCodePoint / CodePointToAnsi: one byte and its code point; CodePointToAnsi gives
//    nullopt for a code point the code page cannot hold, and gives back the undefined bytes
//    for U+0081 and the like, so text read through AnsiByteToCodePoint converts back unchanged.
//  - AnsiToUtf16 / AnsiToUtf8: every byte through the code page.
//  - Utf16ToAnsi: '?' for every unit the code page cannot hold, and also for the five control
//    characters of the undefined bytes: the result holds defined characters only.
//  - Utf8CharToAnsi: the code-page byte of the one character `utf8` holds; nullopt when `utf8`
//    is empty, not well formed, holds more than one character or one outside the code page.
//  - OemByteToCodePoint: a byte of the OEM code page 850 (Western European), the one of the
//    desktops the program was written for, which dialog templates use for titles and classes.
//  - Utf8ToUtf16 turns each byte that does not start a well-formed sequence into U+FFFD;
//    Utf16ToUtf8 writes a lone surrogate as the three bytes its value encodes to. IsValidUtf8
//    tells whether every sequence is well formed (lead byte, continuation bytes, not cut short,
//    in its shortest form, no surrogate, nothing beyond U+10FFFF), so that valid text converts
//    to UTF-16 and back unchanged.
//
// The program's text where the system takes Unicode (a UTF-8 file system on POSIX, the wide
// calls on Windows). One rule on both systems, so a name reaches the same file on either:
//  - TextToUtf8 / TextToUtf16(text): the text itself when it is valid UTF-8 holding a character
//    beyond U+00FF (the chooser's form), otherwise the text read byte by byte in the code page.
//    Pure ASCII is unchanged. The one ambiguous case, code-page text whose bytes happen to form
//    such UTF-8 (for instance "Ä¡", bytes C4 A1), is read as UTF-8.
//  - TextFromUtf16(text): one code-page byte per character when the code page holds them all,
//    otherwise UTF-8. Meant for text that is shown: the few texts no program text leads back to
//    (see below) come back changed by TextToUtf16.
//  - NameFromUtf8 / NameFromUtf16(name): the program's text for a name the system gave (a file,
//    a folder, an environment value), such that TextToUtf8 / TextToUtf16 gives exactly `name`
//    back; nullopt when there is none: bytes that are not UTF-8, a lone surrogate, C1 control
//    characters the code page lacks, or the ambiguous case above. Acting on a changed name
//    could reach another file, so callers leave such names alone (listings leave them out).
//
// Tests and changes on byte strings, ASCII letters only: bytes beyond 127 are taken as they are,
// whatever code page the text is in, so the answer never depends on the process's locale.
//  - IsBlank(text): true when `text` is empty or holds only blanks, tabs, carriage returns and
//    line feeds.
//  - EqualsIgnoringCase(a, b): true when `a` and `b` have the same length and differ at most in
//    the case of ASCII letters.
//  - AsciiUpper(c / text): the ASCII letters a..z made capitals, every other byte unchanged.
// None of them fails, except std::bad_alloc from those that return a string.

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

char32_t AnsiByteToCodePoint(unsigned char byte);
std::optional<unsigned char> CodePointToAnsi(char32_t code_point);
std::u16string AnsiToUtf16(std::string_view text);
std::string AnsiToUtf8(std::string_view text);
std::string Utf16ToAnsi(std::u16string_view text);
std::optional<unsigned char> Utf8CharToAnsi(std::string_view utf8);
char32_t OemByteToCodePoint(unsigned char byte);

std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
bool IsValidUtf8(std::string_view text);

std::string TextToUtf8(std::string_view text);
std::u16string TextToUtf16(std::string_view text);
std::string TextFromUtf16(std::u16string_view text);
std::optional<std::string> NameFromUtf8(std::string_view name);
std::optional<std::string> NameFromUtf16(std::u16string_view name);

inline bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

constexpr char AsciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiUpper(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = AsciiUpper(c);
    }
    return result;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return AsciiUpper(x) == AsciiUpper(y);
           });
}

}  // namespace platform
