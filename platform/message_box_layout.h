#pragma once
// Where the parts of a message box go, so that a box of any text fits on the screen.
//
// Contract of LayOutMessageBox:
//  - The text (lines separated by CR LF or LF) is wrapped at blanks so that no line is wider
//    than the text column allows: the box as a whole at most three quarters of the screen's
//    width. A word wider than a line is broken between characters. Blanks at a wrap are
//    dropped; the line breaks of the text are kept, empty lines included.
//  - At most as many lines as fit in three quarters of the screen's height are kept. When
//    lines are dropped, the last kept line ends in the code page's ellipsis (byte 0x85), cut
//    shorter where needed so that it still fits.
//  - However long the text and however small the screen, the client area is never wider or
//    taller than the screen, every size is at least 1, and at least one line (possibly empty)
//    is kept. Sizes grow with the text only up to those limits, so they stay well inside the
//    range of the window system's 16-bit coordinates.
//  - `measure` gives the pixel width of a byte string; widths are taken to add up (the width
//    of a line is the sum of the widths of its bytes). It is called once per distinct byte.
//  - Nothing here fails or throws, except std::bad_alloc from the copies of the text.

#include <functional>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace platform {

struct MessageBoxShape {
    bool has_icon = false;
    int button_count = 1;
    RECT screen{0, 0, 1024, 768};
    int line_height = 16;
};

struct MessageBoxLayout {
    std::string text;  // the wrapped lines joined by CR LF
    int line_count = 1;
    bool cut = false;  // lines were dropped and the ellipsis added
    int text_x = 0;
    int text_y = 0;
    int text_width = 0;
    int text_height = 0;
    int buttons_x = 0;  // left edge of the first button
    int buttons_y = 0;
    int client_width = 0;
    int client_height = 0;
};

// Fixed sizes of the box, in pixels.
inline constexpr int kMessageBoxMargin = 12;
inline constexpr int kMessageBoxIconSize = 32;
inline constexpr int kMessageBoxIconGap = 12;
inline constexpr int kMessageBoxButtonWidth = 76;
inline constexpr int kMessageBoxButtonHeight = 24;
inline constexpr int kMessageBoxButtonGap = 8;
inline constexpr int kMessageBoxMinTextWidth = 120;

// The code page's horizontal ellipsis.
inline constexpr char kAnsiEllipsis = static_cast<char>(0x85);

using TextMeasure = std::function<int(std::string_view)>;

MessageBoxLayout LayOutMessageBox(std::string_view text, const MessageBoxShape& shape,
                                  const TextMeasure& measure);

}  // namespace platform
