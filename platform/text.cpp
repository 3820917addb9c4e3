#include "platform/text.h"

#include <algorithm>
#include <array>

namespace platform {
namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the page equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Upper half of the Western European OEM code page (850).
constexpr std::array<char16_t, 128> kOem850High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0, 0x00A9, 0x2563, 0x2551, 0x2557,
    0x255D, 0x00A2, 0x00A5, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4, 0x00F0, 0x00D0, 0x00CA, 0x00CB,
    0x00C8, 0x0131, 0x00CD, 0x00CE, 0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE, 0x00DE, 0x00DA, 0x00DB, 0x00D9,
    0x00FD, 0x00DD, 0x00AF, 0x00B4, 0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

bool is_undefined_ansi_byte(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

// Length of the UTF-8 sequence a lead byte announces, 0 for a byte that cannot lead one.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

struct DecodedSequence {
    char32_t code_point;
    std::size_t length;
};

// The well-formed sequence starting at `at`: complete, in its shortest form, neither a
// surrogate nor beyond U+10FFFF. An overlong form would let one character pass for another.
std::optional<DecodedSequence> decode_at(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const int n = sequence_length(lead);
    if (n == 0 || at + static_cast<std::size_t>(n) > text.size()) {
        return std::nullopt;
    }
    char32_t cp = n == 1 ? lead : lead & (0x7F >> n);
    for (int k = 1; k < n; ++k) {
        const auto c = static_cast<unsigned char>(text[at + static_cast<std::size_t>(k)]);
        if ((c & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (c & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
        return std::nullopt;
    }
    return DecodedSequence{cp, static_cast<std::size_t>(n)};
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool has_high_byte(std::string_view text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// UTF-8 that the chooser would only have produced for a character it could not narrow.
bool is_chooser_utf8(std::string_view text) {
    if (!has_high_byte(text) || !IsValidUtf8(text)) {
        return false;
    }
    const std::u16string units = Utf8ToUtf16(text);
    return std::any_of(units.begin(), units.end(), [](char16_t unit) { return unit > 0xFF; });
}

}  // namespace
char32_t AnsiByteToCodePoint(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) {
        return kCp1252High[byte - 0x80];
    }
    return byte;
}

std::optional<unsigned char> CodePointToAnsi(char32_t code_point) {
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
        return static_cast<unsigned char>(code_point);
    }
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == code_point) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return std::nullopt;
}

std::u16string AnsiToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) {
        // Every Windows-1252 character lies in the basic plane: one unit each.
        out.push_back(static_cast<char16_t>(AnsiByteToCodePoint(static_cast<unsigned char>(c))));
    }
    return out;
}

std::string AnsiToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        append_utf8(out, AnsiByteToCodePoint(static_cast<unsigned char>(c)));
    }
    return out;
}

std::string Utf16ToAnsi(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char16_t unit : text) {
        std::optional<unsigned char> byte = CodePointToAnsi(unit);
        out.push_back(byte && !is_undefined_ansi_byte(*byte) ? static_cast<char>(*byte) : '?');
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<DecodedSequence> sequence = decode_at(text, i);
        if (!sequence) {
            return false;
        }
        i += sequence->length;
    }
    return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::optional<DecodedSequence> sequence = decode_at(text, i);
        if (!sequence) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        char32_t cp = sequence->code_point;
        i += sequence->length;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::optional<unsigned char> Utf8CharToAnsi(std::string_view utf8) {
    if (utf8.empty()) {
        return std::nullopt;
    }
    const std::optional<DecodedSequence> sequence = decode_at(utf8, 0);
    if (!sequence || sequence->length != utf8.size()) {
        return std::nullopt;
    }
    return CodePointToAnsi(sequence->code_point);
}

char32_t OemByteToCodePoint(unsigned char byte) {
    return byte < 0x80 ? byte : kOem850High[byte - 0x80];
}

std::string TextToUtf8(std::string_view text) {
    return is_chooser_utf8(text) ? std::string(text) : AnsiToUtf8(text);
}

std::u16string TextToUtf16(std::string_view text) {
    // Through the same reading as TextToUtf8, so that code-page text such as "\xC3\xA9" stays
    // two characters on both systems.
    return Utf8ToUtf16(TextToUtf8(text));
}

std::string TextFromUtf16(std::u16string_view text) {
    const bool fits = std::all_of(text.begin(), text.end(),
                                  [](char16_t c) { return CodePointToAnsi(c).has_value(); });
    return fits ? Utf16ToAnsi(text) : Utf16ToUtf8(text);
}

std::optional<std::string> NameFromUtf8(std::string_view name) {
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
    if (TextToUtf8(text) != name) {
        return std::nullopt;
    }
    return text;
}

std::optional<std::string> NameFromUtf16(std::u16string_view name) {
    std::string text = TextFromUtf16(name);
    if (TextToUtf16(text) != name) {
        return std::nullopt;
    }
    return text;
}

}  // namespace platform
