#include "platform/text_encoding.h"

#include <array>

namespace platform {
namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the page equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

}  // namespace platform
