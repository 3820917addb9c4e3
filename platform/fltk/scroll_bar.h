#pragma once
// Geometry of a vertical scroll bar drawn for a scrolling text control: arrow boxes at both
// ends, a track between them and a thumb whose size shows the visible share of the lines and
// whose position shows the first visible line, which runs from 0 to last_first_line (how far
// the control lets itself scroll).
//
// Contract: pure arithmetic on the given numbers; a bar too short for a thumb (or with nothing
// to scroll) has thumb_height 0, and then the track is one page-up / page-down area split in the
// middle. LineForThumbTop maps a dragged thumb back to a first visible line within
// 0..last_first_line.

namespace platform::fltk {

struct ScrollState {
    int last_first_line = 0;  // the largest first visible line the control scrolls to
    int visible_lines = 1;    // lines that fit in the control
    int first_line = 0;       // first visible line
};

struct ScrollBarLayout {
    int arrow = 0;         // height of each arrow box
    int track_top = 0;     // relative to the bar's top
    int track_bottom = 0;  // exclusive
    int thumb_top = 0;
    int thumb_height = 0;  // 0: no thumb
    bool scrollable = false;
};

enum class ScrollPart { LineUp, PageUp, Thumb, PageDown, LineDown, Outside };

ScrollBarLayout LayOutScrollBar(int bar_height, int bar_width, const ScrollState& state);
// The part under a point `y` pixels below the bar's top.
ScrollPart ScrollPartAt(const ScrollBarLayout& layout, int bar_height, int y);
// The first visible line for a thumb whose top is at `thumb_top` (clamped to the track).
int LineForThumbTop(const ScrollBarLayout& layout, const ScrollState& state, int thumb_top);

}  // namespace platform::fltk
