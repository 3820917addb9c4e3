// The text conversions on arbitrary bytes and UTF-16 units: code-page text survives the round
// trips through UTF-16 and UTF-8 (its undefined bytes aside), and well-formed UTF-8 survives
// the trip through UTF-16.

#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/text.h"

namespace {

bool undefined_in_code_page(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace platform;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const std::u16string wide = AnsiToUtf16(bytes);
    FUZZ_CHECK(wide.size() == bytes.size());
    const std::string back = Utf16ToAnsi(wide);
    FUZZ_CHECK(back.size() == bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        FUZZ_CHECK(back[i] == (undefined_in_code_page(byte) ? '?' : bytes[i]));
    }
    const std::string utf8 = AnsiToUtf8(bytes);
    FUZZ_CHECK(IsValidUtf8(utf8));
    FUZZ_CHECK(Utf8ToUtf16(utf8) == wide);
    FUZZ_CHECK(Utf16ToUtf8(wide) == utf8);

    const std::u16string decoded = Utf8ToUtf16(bytes);
    if (IsValidUtf8(bytes)) {
        FUZZ_CHECK(Utf16ToUtf8(decoded) == bytes);
    }
    std::u16string units(size / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    const std::string from_units = Utf16ToUtf8(units);
    Utf16ToAnsi(units);
    Utf8ToUtf16(from_units);
    for (std::uint8_t b : bytes.substr(0, 64)) {
        if (std::optional<unsigned char> again = CodePointToAnsi(AnsiByteToCodePoint(b))) {
            FUZZ_CHECK(*again == b);
        }
    }
    return 0;
}
