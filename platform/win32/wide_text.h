#pragma once
// Text at the boundary of the system's wide-character calls (Windows side only).
//
// Every narrow string the program hands to the system, and every one it takes back, crosses
// here; no Win32 file converts through the system's own code page (CP_ACP). The program's
// strings are bytes in its code page, Windows-1252 (text_encoding.h), whatever code page the
// system runs with, so the accented letters of the Italian messages and of a file name show and
// open the same on every system. The one exception is a file name the chooser handed back with
// a character Windows-1252 lacks, which is UTF-8 (ui/file_chooser.h). The rule is the one the
// Linux side uses for file names (file_name_text.h), so a name reaches the same file on both:
//  - ToWide(text): the text read as UTF-8 when it is valid UTF-8 holding a character beyond
//    U+00FF, otherwise one Windows-1252 character per byte. Never fails.
//  - FromWide(text): one Windows-1252 byte per character when the code page holds them all,
//    otherwise UTF-8. Never fails; meant for text that is shown. The few texts no program
//    string leads back to (see NameFromWide) come back changed by ToWide.
//  - NameFromWide(name): the program's text for a name the system gave (a file, a folder, an
//    environment value), such that ToWide gives exactly `name` back; nullopt when there is none:
//    a name with a lone surrogate, with a C1 control character the code page lacks, or with
//    characters the code page holds whose bytes happen to read as UTF-8 beyond U+00FF ("Ä¡").
//    Acting on a changed name could reach another file, so callers leave such names alone.

#include <optional>
#include <string>
#include <string_view>

namespace platform {

std::wstring ToWide(std::string_view text);
std::string FromWide(std::wstring_view text);
std::optional<std::string> NameFromWide(std::wstring_view name);

}  // namespace platform
