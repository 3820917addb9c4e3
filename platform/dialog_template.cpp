#include "platform/dialog_template.h"

#include <algorithm>

#include "platform/text.h"

namespace platform {
namespace {

class Reader {
  public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    bool ok() const { return m_ok; }
    std::size_t offset() const { return m_pos; }

    WORD word() {
        if (m_pos + 2 > m_bytes.size()) {
            m_ok = false;
            m_pos = m_bytes.size();
            return 0;
        }
        auto lo = static_cast<unsigned char>(m_bytes[m_pos]);
        auto hi = static_cast<unsigned char>(m_bytes[m_pos + 1]);
        m_pos += 2;
        return static_cast<WORD>(lo | (hi << 8));
    }
    short signed_word() { return static_cast<short>(word()); }
    DWORD dword() {
        DWORD lo = word();
        DWORD hi = word();
        return lo | (hi << 16);
    }

    std::u16string utf16_string() {
        std::u16string out;
        while (m_ok) {
            WORD c = word();
            if (!m_ok || c == 0) {
                break;
            }
            out.push_back(static_cast<char16_t>(c));
        }
        return out;
    }

    // A name field: 0x0000 (empty), 0xFFFF + ordinal, or a string.
    struct NameField {
        std::string text;
        WORD ordinal = 0;
        bool is_ordinal = false;
    };
    NameField name_field() {
        NameField field;
        if (m_pos + 2 > m_bytes.size()) {
            m_ok = false;
            return field;
        }
        WORD first = peek_word();
        if (first == 0xFFFF) {
            word();
            field.ordinal = word();
            field.is_ordinal = true;
            // Built by appending to the empty text: "#" + std::to_string(...), or assigning
            // "#", makes GCC 12 at -O3 report a false -Wrestrict overlap in the inlined
            // replace of the string (the source is a literal, the target a new buffer).
            field.text.push_back('#');
            field.text.append(std::to_string(field.ordinal));
        } else {
            field.text = Utf16ToAnsi(utf16_string());
        }
        return field;
    }

    std::string raw(std::size_t n) {
        if (m_pos + n > m_bytes.size()) {
            m_ok = false;
            m_pos = m_bytes.size();
            return {};
        }
        std::string out(m_bytes.substr(m_pos, n));
        m_pos += n;
        return out;
    }

    void align4() {
        std::size_t aligned = (m_pos + 3) & ~std::size_t{3};
        // Padding after the last item may be missing; only a field that follows needs it.
        m_pos = aligned <= m_bytes.size() ? aligned : m_bytes.size();
    }

  private:
    WORD peek_word() const {
        auto lo = static_cast<unsigned char>(m_bytes[m_pos]);
        auto hi = static_cast<unsigned char>(m_bytes[m_pos + 1]);
        return static_cast<WORD>(lo | (hi << 8));
    }

    std::string_view m_bytes;
    std::size_t m_pos = 0;
    bool m_ok = true;
};

std::string atom_class_name(WORD atom) {
    switch (atom) {
        case 0x0080:
            return "Button";
        case 0x0081:
            return "Edit";
        case 0x0082:
            return "Static";
        case 0x0083:
            return "ListBox";
        case 0x0084:
            return "ScrollBar";
        case 0x0085:
            return "ComboBox";
        default:
            return {};
    }
}

void read_rectangle(Reader& in, TemplateFrame& frame) {
    frame.x = in.signed_word();
    frame.y = in.signed_word();
    frame.cx = in.signed_word();
    frame.cy = in.signed_word();
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(std::string_view bytes) {
    Reader in(bytes);
    DialogTemplate t;
    t.style = in.dword();
    t.ex_style = in.dword();
    // The extended layout starts with version 1 and the signature 0xFFFF where the standard one
    // has its style word.
    if (in.ok() && (t.style & 0xFFFF) == 1 && (t.style >> 16) == 0xFFFF) {
        return std::nullopt;
    }
    WORD count = in.word();
    read_rectangle(in, t);
    if (!in.ok()) {
        return std::nullopt;
    }
    t.menu = in.name_field().text;
    if (in.ok()) {
        auto cls = in.name_field();
        t.class_name = cls.text;
    }
    if (in.ok()) {
        t.title = in.name_field().text;
    }
    if (in.ok() && (t.style & DS_SETFONT) != 0) {
        t.has_font = true;
        t.font_point_size = in.word();
        t.font_face = Utf16ToAnsi(in.utf16_string());
    }
    if (!in.ok()) {
        return std::nullopt;
    }
    // The count is only a claim: reserve no more items than the bytes left could hold (each
    // takes at least its 18 fixed bytes), or a 30-byte template would cost megabytes.
    constexpr std::size_t kItemFixedBytes = 18;
    t.items.reserve(std::min<std::size_t>(count, (bytes.size() - in.offset()) / kItemFixedBytes));
    for (WORD i = 0; i < count; ++i) {
        in.align4();
        DialogItemTemplate item;
        item.style = in.dword();
        item.ex_style = in.dword();
        read_rectangle(in, item);
        item.id = in.word();
        if (!in.ok()) {
            return std::nullopt;
        }
        auto cls = in.name_field();
        if (cls.is_ordinal) {
            item.class_atom = cls.ordinal;
            item.class_name = atom_class_name(cls.ordinal);
        } else {
            item.class_name = cls.text;
        }
        if (in.ok()) {
            item.title = in.name_field().text;
        }
        WORD extra = in.ok() ? in.word() : 0;
        if (in.ok() && extra > 0) {
            item.creation_data = in.raw(extra);
        }
        if (!in.ok()) {
            return std::nullopt;
        }
        t.items.push_back(std::move(item));
    }
    return t;
}

}  // namespace platform
