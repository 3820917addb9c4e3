#pragma once
// Little-endian writers for the fields of an in-memory dialog template (the layout that
// platform/dialog_template.h reads). Each appends exactly its field's bytes to `out`, low byte
// first; they cannot fail. Internal to ui/.
//
// PutOemText: a title or class name, written as the desktops the program was written for wrote
// it: the text up to its first NUL, each byte read in the OEM code page (OemByteToCodePoint of
// platform/text.h), as UTF-16 units with a terminating zero unit. A NUL in the text ends the
// field, or what follows would be read as the next fields of the template.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/text.h"

namespace kadro {

inline void PutWord(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void PutDword(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

inline void PutOemText(std::string& out, std::string_view text) {
    for (char c : text.substr(0, text.find('\0'))) {
        PutWord(out, static_cast<std::uint16_t>(
                         platform::OemByteToCodePoint(static_cast<unsigned char>(c))));
    }
    PutWord(out, 0);
}

}  // namespace kadro
