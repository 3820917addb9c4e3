#pragma once
// Reading the bytes of an in-memory dialog template (standard layout, not the extended one).
//
// Layout, all values little-endian:
//   header: DWORD style, DWORD extended style, WORD item count, short x, y, cx, cy;
//           menu, window class and title, each either a lone 0x0000 (none / empty), 0xFFFF
//           followed by an ordinal WORD, or a zero-terminated UTF-16 string;
//           with DS_SETFONT a WORD point size and a UTF-16 face name.
//   items, each starting on a DWORD boundary:
//           DWORD style, DWORD extended style, short x, y, cx, cy, WORD id;
//           class as 0xFFFF + atom (0x0080 Button, 0x0081 Edit, 0x0082 Static, 0x0083 ListBox,
//           0x0084 ScrollBar, 0x0085 ComboBox) or a UTF-16 name; title as 0xFFFF + ordinal or
//           a UTF-16 string; a WORD creation-data size followed by that many bytes.
//
// Strings are turned into byte strings through the ANSI code page (Windows-1252); a character
// that page cannot hold becomes '?'. A title given as an ordinal becomes "#<ordinal>" (the
// way a static icon control names its icon). Coordinates stay in dialog units.
//
// ParseDialogTemplate returns nullopt when the bytes are malformed: too short for a field they
// announce, an unterminated string, or the extended layout (which this reader refuses rather
// than misreads). It never reads beyond the given bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// What the dialog's header and each item start with: the styles and the rectangle, in dialog
// units.
struct TemplateFrame {
    DWORD style = 0;
    DWORD ex_style = 0;
    short x = 0;
    short y = 0;
    short cx = 0;
    short cy = 0;
};

struct DialogItemTemplate : TemplateFrame {
    WORD id = 0;
    // The class name: "Button", "Edit", "Static", ... for an atom, the given name otherwise.
    // Empty for an atom this reader does not know.
    std::string class_name;
    WORD class_atom = 0;  // the atom when the class was given as one, else 0
    std::string title;
    std::string creation_data;
};

struct DialogTemplate : TemplateFrame {
    std::string menu;        // "" for none; "#<ordinal>" for an ordinal
    std::string class_name;  // "" for the standard dialog class
    std::string title;
    bool has_font = false;
    WORD font_point_size = 0;
    std::string font_face;
    std::vector<DialogItemTemplate> items;
};

std::optional<DialogTemplate> ParseDialogTemplate(std::string_view bytes);

}  // namespace platform
