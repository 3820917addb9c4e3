#include "platform/serial_settings.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstring>
#include <iterator>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())) != 0) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())) != 0) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<std::uint32_t> parse_unsigned(std::string_view s) {
    if (s.empty()) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

// The MODE syntax lets the common rates be written by their first two digits.
std::optional<std::uint32_t> parse_baud(std::string_view s) {
    static constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 9> kShort{{
        {11, 110},
        {15, 150},
        {30, 300},
        {60, 600},
        {12, 1200},
        {24, 2400},
        {48, 4800},
        {96, 9600},
        {19, 19200},
    }};
    auto value = parse_unsigned(s);
    if (!value || *value == 0) {
        return std::nullopt;
    }
    for (auto [abbreviation, rate] : kShort) {
        if (*value == abbreviation) {
            return rate;
        }
    }
    return value;
}

std::optional<std::uint8_t> parse_parity(std::string_view s) {
    if (s.size() != 1) {
        return std::nullopt;
    }
    switch (AsciiUpper(s[0])) {
        case 'N':
            return NOPARITY;
        case 'O':
            return ODDPARITY;
        case 'E':
            return EVENPARITY;
        case 'M':
            return MARKPARITY;
        case 'S':
            return SPACEPARITY;
        default:
            return std::nullopt;
    }
}

std::optional<std::uint8_t> parse_data_bits(std::string_view s) {
    auto value = parse_unsigned(s);
    if (!value || *value < 5 || *value > 8) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(*value);
}

std::optional<std::uint8_t> parse_stop_bits(std::string_view s) {
    if (s == "1") {
        return ONESTOPBIT;
    }
    if (s == "1.5") {
        return ONE5STOPBITS;
    }
    if (s == "2") {
        return TWOSTOPBITS;
    }
    return std::nullopt;
}

std::optional<bool> parse_on_off(std::string_view s) {
    if (EqualsIgnoringCase(s, "on")) {
        return true;
    }
    if (EqualsIgnoringCase(s, "off")) {
        return false;
    }
    return std::nullopt;
}

void set_parity(DCB& dcb, std::uint8_t parity) {
    dcb.Parity = parity;
    dcb.fParity = parity != NOPARITY ? 1 : 0;
}

template <typename Value, typename Field>
bool store(std::optional<Value> value, Field& field) {
    if (value) {
        field = *value;
    }
    return value.has_value();
}

// The line fields both forms name, in the order of the comma form: each sets its part of the
// record from its text, or answers false for a text it does not take.
struct LineField {
    std::string_view key;
    bool (*set)(DCB& dcb, std::string_view text);
};

constexpr LineField kLineFields[] = {
    {"baud", [](DCB& dcb, std::string_view text) { return store(parse_baud(text), dcb.BaudRate); }},
    {"parity",
     [](DCB& dcb, std::string_view text) {
         const std::optional<std::uint8_t> parity = parse_parity(text);
         if (parity) {
             set_parity(dcb, *parity);
         }
         return parity.has_value();
     }},
    {"data",
     [](DCB& dcb, std::string_view text) { return store(parse_data_bits(text), dcb.ByteSize); }},
    {"stop",
     [](DCB& dcb, std::string_view text) { return store(parse_stop_bits(text), dcb.StopBits); }},
};

// A device prefix such as "COM3:" may lead either form; it names no field.
std::string_view strip_device_prefix(std::string_view s) {
    if (s.size() >= 4 && EqualsIgnoringCase(s.substr(0, 3), "com")) {
        std::size_t i = 3;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])) != 0) {
            ++i;
        }
        if (i > 3 && i < s.size() && s[i] == ':') {
            return trim(s.substr(i + 1));
        }
    }
    return s;
}

std::vector<std::string_view> split(std::string_view s, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        auto pos = s.find(separator);
        parts.push_back(trim(s.substr(0, pos)));
        if (pos == std::string_view::npos) {
            return parts;
        }
        s.remove_prefix(pos + 1);
    }
}

bool parse_comma_form(std::string_view s, DCB& dcb) {
    auto parts = split(s, ',');
    if (parts.size() > 5) {
        return false;
    }
    for (auto part : parts) {
        if (part.empty()) {
            return false;
        }
    }
    for (std::size_t i = 0; i < parts.size() && i < std::size(kLineFields); ++i) {
        if (!kLineFields[i].set(dcb, parts[i])) {
            return false;
        }
    }
    // The suffix, or its absence, decides every flow-control field of this form.
    bool xon_xoff = false;
    bool hardware = false;
    if (parts.size() > 4) {
        if (EqualsIgnoringCase(parts[4], "x")) {
            xon_xoff = true;
        } else if (EqualsIgnoringCase(parts[4], "p")) {
            hardware = true;
        } else {
            return false;
        }
    }
    dcb.fInX = xon_xoff ? 1 : 0;
    dcb.fOutX = xon_xoff ? 1 : 0;
    dcb.fOutxCtsFlow = hardware ? 1 : 0;
    dcb.fOutxDsrFlow = hardware ? 1 : 0;
    dcb.fDtrControl = hardware ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
    dcb.fRtsControl = hardware ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
    return true;
}

bool apply_key(DCB& dcb, std::string_view key, std::string_view value) {
    for (const LineField& field : kLineFields) {
        if (EqualsIgnoringCase(key, field.key)) {
            return field.set(dcb, value);
        }
    }
    if (EqualsIgnoringCase(key, "dtr")) {
        if (EqualsIgnoringCase(value, "hs")) {
            dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
            return true;
        }
        auto on = parse_on_off(value);
        dcb.fDtrControl = on.value_or(false) ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
        return on.has_value();
    }
    if (EqualsIgnoringCase(key, "rts")) {
        if (EqualsIgnoringCase(value, "hs")) {
            dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
            return true;
        }
        if (EqualsIgnoringCase(value, "tg")) {
            dcb.fRtsControl = RTS_CONTROL_TOGGLE;
            return true;
        }
        auto on = parse_on_off(value);
        dcb.fRtsControl = on.value_or(false) ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
        return on.has_value();
    }
    auto on = parse_on_off(value);
    if (!on) {
        return false;
    }
    std::uint32_t bit = *on ? 1 : 0;
    if (EqualsIgnoringCase(key, "to")) {
        // Time-outs live outside this record; the key is accepted and sets nothing.
        return true;
    }
    if (EqualsIgnoringCase(key, "xon")) {
        dcb.fInX = bit;
        dcb.fOutX = bit;
        return true;
    }
    if (EqualsIgnoringCase(key, "odsr")) {
        dcb.fOutxDsrFlow = bit;
        return true;
    }
    if (EqualsIgnoringCase(key, "octs")) {
        dcb.fOutxCtsFlow = bit;
        return true;
    }
    if (EqualsIgnoringCase(key, "idsr")) {
        dcb.fDsrSensitivity = bit;
        return true;
    }
    return false;
}

bool parse_key_form(std::string_view s, DCB& dcb) {
    std::vector<std::string_view> seen;
    while (!s.empty()) {
        std::size_t end = 0;
        while (end < s.size() && std::isspace(static_cast<unsigned char>(s[end])) == 0) {
            ++end;
        }
        std::string_view token = s.substr(0, end);
        s = trim(s.substr(end));
        auto eq = token.find('=');
        if (eq == std::string_view::npos || eq == 0 || eq + 1 == token.size()) {
            return false;
        }
        std::string_view key = token.substr(0, eq);
        for (auto earlier : seen) {
            if (EqualsIgnoringCase(earlier, key)) {
                return false;
            }
        }
        seen.push_back(key);
        if (!apply_key(dcb, key, token.substr(eq + 1))) {
            return false;
        }
    }
    return true;
}

}  // namespace

DCB DefaultDcb() {
    DCB dcb;
    std::memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fTXContinueOnXoff = 1;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

std::optional<DCB> ParseModeString(std::string_view mode) {
    std::string_view rest = strip_device_prefix(trim(mode));
    if (rest.empty()) {
        return std::nullopt;
    }
    DCB dcb = DefaultDcb();
    bool ok = rest.find('=') != std::string_view::npos ? parse_key_form(rest, dcb)
                                                       : parse_comma_form(rest, dcb);
    if (!ok) {
        return std::nullopt;
    }
    return dcb;
}

std::string DcbToBytes(const DCB& dcb) {
    std::string bytes(sizeof(DCB), '\0');
    std::memcpy(bytes.data(), &dcb, sizeof(DCB));
    return bytes;
}

std::optional<DCB> DcbFromBytes(std::string_view bytes) {
    if (bytes.size() != sizeof(DCB)) {
        return std::nullopt;
    }
    DCB dcb;
    std::memcpy(&dcb, bytes.data(), sizeof(DCB));
    return dcb;
}

}  // namespace platform
