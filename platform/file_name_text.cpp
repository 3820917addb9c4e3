#include "platform/file_name_text.h"

#include "platform/text_encoding.h"

namespace platform {
namespace {

bool has_high_byte(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return true;
        }
    }
    return false;
}

// UTF-8 that the chooser would only have produced for a character it could not narrow.
bool is_chooser_utf8(std::string_view name) {
    if (!has_high_byte(name) || !IsValidUtf8(name)) {
        return false;
    }
    for (char16_t unit : Utf8ToUtf16(name)) {
        if (unit > 0xFF) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string FileNameToUtf8(std::string_view name) {
    if (is_chooser_utf8(name)) {
        return std::string(name);
    }
    return AnsiToUtf8(name);
}

std::optional<std::string> FileNameFromUtf8(std::string_view name) {
    if (!IsValidUtf8(name)) {
        return std::nullopt;
    }
    std::string text;
    text.reserve(name.size());
    for (char16_t unit : Utf8ToUtf16(name)) {
        // A surrogate half never has a code-page byte, so names beyond the basic plane fall
        // through to the UTF-8 form as a whole.
        std::optional<unsigned char> byte = CodePointToAnsi(unit);
        if (!byte) {
            text.assign(name);
            break;
        }
        text.push_back(static_cast<char>(*byte));
    }
    if (FileNameToUtf8(text) != name) {
        return std::nullopt;
    }
    return text;
}

}  // namespace platform
