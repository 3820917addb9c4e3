#pragma once
// Little-endian writers for the fields of an in-memory dialog template (the layout that
// platform/dialog_template.h reads). Each appends exactly its field's bytes to `out`, low byte
// first; they cannot fail. Internal to ui/.

#include <cstdint>
#include <string>

namespace kadro {

inline void put_word(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

inline void put_dword(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

}  // namespace kadro
