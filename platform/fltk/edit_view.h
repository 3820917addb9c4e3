#pragma once
// What an edit control shows on the screen, row by row, and the least drawing that turns one
// such view into the next: when a log grows by a line and scrolls, the rows already on the
// screen move up by whole rows and only the new ones are drawn. Internal to the screen display.
//
// Contract: pure functions of their arguments. PlanEditRepaint answers nullopt when the two
// views cannot be related row by row (the control moved or changed size, the line height or the
// enabled state changed, a scroll bar came or went); the caller then draws the control whole.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/edit_control.h"
#include "platform/fltk/scroll_bar.h"
#include "platform/types.h"
#include "platform/window_system/window_system.h"

namespace platform::fltk {

constexpr std::size_t kNoCaret = static_cast<std::size_t>(-1);

struct EditRow {
    std::string text;                // the bytes shown, without the line break
    std::size_t caret = kNoCaret;    // byte offset of the caret within the row
    std::size_t selection_from = 0;  // selected bytes within the row: [from, to)
    std::size_t selection_to = 0;
    bool operator==(const EditRow&) const = default;
};

struct EditView {
    RECT client{};  // the control's client area, in top-level client coordinates
    int line_height = 1;
    bool enabled = true;
    int first_line = 0;
    std::vector<EditRow> rows;  // every row that shows at least one pixel, from the top
    int whole_rows = 0;         // how many of them are shown in full
    std::optional<ScrollBarLayout> bar;
    RECT bar_rect{};
};

// The rows of `snapshot` as shown in `client` (top-level client coordinates).
EditView ViewFromSnapshot(const EditSnapshot& snapshot, RECT client, bool enabled);

struct EditRepaint {
    int scroll_rows = 0;    // the view's pixels move up by this many rows (down when negative)
    std::vector<int> rows;  // rows of the new view to draw after the move, top first
    bool bar = false;       // the scroll bar is to be drawn again
    RECT area{};            // what changes on the screen, in top-level client coordinates
    bool empty() const { return scroll_rows == 0 && rows.empty() && !bar; }
};

std::optional<EditRepaint> PlanEditRepaint(const EditView& before, const EditView& after);

}  // namespace platform::fltk
