#include "platform/fltk/ansi_text.h"

namespace platform::screen {

std::optional<unsigned char> Utf8CharToAnsi(std::string_view utf8) {
    if (utf8.empty()) {
        return std::nullopt;
    }
    auto lead = static_cast<unsigned char>(utf8[0]);
    std::size_t length = lead < 0x80             ? 1
                         : (lead & 0xE0) == 0xC0 ? 2
                         : (lead & 0xF0) == 0xE0 ? 3
                         : (lead & 0xF8) == 0xF0 ? 4
                                                 : 0;
    if (length == 0 || utf8.size() != length) {
        return std::nullopt;
    }
    char32_t cp = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    return CodePointToAnsi(cp);
}

}  // namespace platform::screen
