#include "platform/fltk/scroll_bar.h"

#include <algorithm>

namespace platform::fltk {
namespace {

constexpr int kMinThumb = 8;

}  // namespace

ScrollBarLayout LayOutScrollBar(int bar_height, int bar_width, const ScrollState& state) {
    ScrollBarLayout layout;
    const int last = std::max(0, state.last_first_line);
    layout.arrow = std::min(bar_width, bar_height / 2);
    layout.track_top = layout.arrow;
    layout.track_bottom = std::max(layout.track_top, bar_height - layout.arrow);
    layout.scrollable = last > 0 || state.first_line > 0;
    const int track = layout.track_bottom - layout.track_top;
    if (!layout.scrollable || track < kMinThumb) {
        layout.thumb_top = layout.track_top;
        return layout;
    }
    const int visible = std::max(1, state.visible_lines);
    // Positions 0..last, each showing `visible` lines: the content spans last + visible.
    const long long span = static_cast<long long>(last) + visible;
    layout.thumb_height = std::clamp(
        static_cast<int>(track * static_cast<long long>(visible) / span), kMinThumb, track);
    const int travel = track - layout.thumb_height;
    const int first = std::clamp(state.first_line, 0, last);
    layout.thumb_top =
        layout.track_top +
        (last > 0 ? static_cast<int>(static_cast<long long>(travel) * first / last) : 0);
    return layout;
}

ScrollPart ScrollPartAt(const ScrollBarLayout& layout, int bar_height, int y) {
    if (y < 0 || y >= bar_height) {
        return ScrollPart::Outside;
    }
    if (y < layout.track_top) {
        return ScrollPart::LineUp;
    }
    if (y >= layout.track_bottom) {
        return ScrollPart::LineDown;
    }
    if (layout.thumb_height == 0) {
        return y < (layout.track_top + layout.track_bottom) / 2 ? ScrollPart::PageUp
                                                                : ScrollPart::PageDown;
    }
    if (y < layout.thumb_top) {
        return ScrollPart::PageUp;
    }
    if (y >= layout.thumb_top + layout.thumb_height) {
        return ScrollPart::PageDown;
    }
    return ScrollPart::Thumb;
}

int LineForThumbTop(const ScrollBarLayout& layout, const ScrollState& state, int thumb_top) {
    const int last = std::max(0, state.last_first_line);
    const int travel = layout.track_bottom - layout.track_top - layout.thumb_height;
    if (layout.thumb_height == 0 || travel <= 0 || last == 0) {
        return 0;
    }
    const int offset = std::clamp(thumb_top - layout.track_top, 0, travel);
    // Rounded to the nearest line so that a thumb put back where it was keeps its line.
    return static_cast<int>((static_cast<long long>(offset) * last + travel / 2) / travel);
}

}  // namespace platform::fltk
