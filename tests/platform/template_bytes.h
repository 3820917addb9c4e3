#pragma once
// Builds dialog template bytes by hand for the tests, field by field, so that the reader is
// checked against the layout rather than against itself.

#include <cstdint>
#include <string>
#include <string_view>

namespace kadro::test {

class TemplateBytes {
  public:
    TemplateBytes& word(std::uint16_t v) {
        m_bytes.push_back(static_cast<char>(v & 0xFF));
        m_bytes.push_back(static_cast<char>(v >> 8));
        return *this;
    }
    TemplateBytes& dword(std::uint32_t v) {
        word(static_cast<std::uint16_t>(v & 0xFFFF));
        return word(static_cast<std::uint16_t>(v >> 16));
    }
    // ASCII / Latin-1 text as UTF-16 with its terminating zero.
    TemplateBytes& text(std::string_view s) {
        for (char c : s) {
            word(static_cast<unsigned char>(c));
        }
        return word(0);
    }
    TemplateBytes& atom(std::uint16_t a) { return word(0xFFFF).word(a); }
    TemplateBytes& align() {
        while (m_bytes.size() % 4 != 0) {
            m_bytes.push_back('\0');
        }
        return *this;
    }

    TemplateBytes& header(std::uint32_t style, std::uint16_t count, short x, short y, short cx,
                          short cy, std::string_view title) {
        dword(style).dword(0).word(count);
        word(static_cast<std::uint16_t>(x)).word(static_cast<std::uint16_t>(y));
        word(static_cast<std::uint16_t>(cx)).word(static_cast<std::uint16_t>(cy));
        return word(0).word(0).text(title);
    }
    // An item whose class is an atom (0x0080 button, 0x0081 edit, 0x0082 static).
    TemplateBytes& item(std::uint32_t style, short x, short y, short cx, short cy, std::uint16_t id,
                        std::uint16_t class_atom, std::string_view title) {
        item_start(style, x, y, cx, cy, id);
        return atom(class_atom).text(title).word(0);
    }
    TemplateBytes& item(std::uint32_t style, short x, short y, short cx, short cy, std::uint16_t id,
                        std::string_view class_name, std::string_view title) {
        item_start(style, x, y, cx, cy, id);
        return text(class_name).text(title).word(0);
    }

    const std::string& bytes() const { return m_bytes; }

  private:
    void item_start(std::uint32_t style, short x, short y, short cx, short cy, std::uint16_t id) {
        align();
        dword(style).dword(0);
        word(static_cast<std::uint16_t>(x)).word(static_cast<std::uint16_t>(y));
        word(static_cast<std::uint16_t>(cx)).word(static_cast<std::uint16_t>(cy));
        word(id);
    }

    std::string m_bytes;
};

}  // namespace kadro::test
