#pragma once
// Drawing the window system's windows with the screen toolkit, and finding what lies under a
// point. Internal to the screen display.
//
// Contract: every function reads the window system's state (windows, texts, styles, the edit
// controls' snapshots) and changes none of it. The drawing functions must run inside a toolkit
// window's draw(), on the interface thread. Points and rectangles are in the client
// coordinates of the top-level window being drawn. Text is the window system's byte text
// (Windows-1252); every byte is drawn at the advance that FontMetrics reports, so what is drawn
// lines up exactly with the edit control's own wrapping, caret and hit-testing, which measure
// with the same numbers.

#include <array>
#include <map>
#include <optional>
#include <string_view>

#include "platform/fltk/edit_view.h"
#include "platform/fltk/scroll_bar.h"
#include "platform/types.h"

namespace platform::fltk {

class FontMetrics {
  public:
    // Measures the font; needs the toolkit's display connection to be open.
    void load();
    int width(unsigned char byte) const { return m_widths[byte]; }
    int text_width(std::string_view text) const;
    // Height of one text line: the window system lays text out in 16-pixel lines.
    static constexpr int kLineHeight = 16;

  private:
    std::array<int, 256> m_widths{};
};

// What was last drawn of each edit control, by window.
using EditViews = std::map<HWND, EditView>;

// Paints the client area of the top-level window `top` and all its visible children; records
// in *drawn (when given) the view drawn of each edit control.
void PaintTopLevel(HWND top, const FontMetrics& metrics, EditViews* drawn);

// The view of an edit control as it stands now; nullopt for a window that is not a visible edit
// control.
std::optional<EditView> CurrentEditView(HWND edit);

// Draws what `plan` says of an edit control whose screen shows what the plan started from:
// moves the rows that stay within the drawing surface, then draws the rest. The surface must
// be the one the control was last drawn on (a toolkit window's back buffer).
void PaintEditRepaint(const EditView& view, const EditRepaint& plan, const FontMetrics& metrics);

// The rectangle of `hwnd` (window or client area) in the client coordinates of its top-level
// window.
RECT WindowRectInTop(HWND hwnd);
RECT ClientRectInTop(HWND hwnd);

// The deepest visible child of `top` under the point, or `top` itself.
HWND WindowAt(HWND top, POINT point);

// The vertical scroll bar of a scrolling edit control: its rectangle in top-level coordinates
// and its current state. nullopt when the window has no drawn scroll bar.
struct EditScrollBar {
    RECT rect{};
    ScrollState state;
    ScrollBarLayout layout;
};
std::optional<EditScrollBar> FindEditScrollBar(HWND hwnd);

}  // namespace platform::fltk
