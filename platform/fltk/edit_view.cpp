#include "platform/fltk/edit_view.h"

#include <algorithm>
#include <cstdlib>

namespace platform::fltk {
namespace {

bool same_bar(const std::optional<ScrollBarLayout>& a, const std::optional<ScrollBarLayout>& b) {
    if (a.has_value() != b.has_value()) {
        return false;
    }
    if (!a) {
        return true;
    }
    return a->arrow == b->arrow && a->track_top == b->track_top &&
           a->track_bottom == b->track_bottom && a->thumb_top == b->thumb_top &&
           a->thumb_height == b->thumb_height && a->scrollable == b->scrollable;
}

RECT unite(RECT a, RECT b) {
    if (a.width() <= 0 || a.height() <= 0) {
        return b;
    }
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

}  // namespace

EditView ViewFromSnapshot(const EditSnapshot& snapshot, RECT client, bool enabled) {
    EditView view;
    view.client = client;
    view.line_height = std::max(1, snapshot.line_height);
    view.enabled = enabled;
    view.first_line = std::max(0, snapshot.first_visible_line);
    const int height = std::max(0, client.height());
    const int row_count = (height + view.line_height - 1) / view.line_height;
    view.whole_rows = height / view.line_height;

    const std::vector<std::size_t>& starts = snapshot.line_starts;
    const std::size_t line_count = starts.empty() ? 1 : starts.size();
    auto start_of = [&](std::size_t i) { return starts.empty() ? std::size_t{0} : starts[i]; };
    auto end_of = [&](std::size_t i) {
        if (i + 1 >= line_count) {
            return snapshot.text.size();
        }
        std::size_t next = start_of(i + 1);
        if (next >= 2 && snapshot.text.compare(next - 2, 2, "\r\n") == 0) {
            return next - 2;
        }
        return next;
    };
    // The caret stands on the line the edit control itself puts it on: at a soft break, the
    // start of the next line.
    const std::size_t caret_line =
        starts.empty() ? 0
                       : static_cast<std::size_t>(
                             std::upper_bound(starts.begin(), starts.end(), snapshot.caret) -
                             starts.begin() - 1);
    const bool selection = snapshot.focused && snapshot.selection_start < snapshot.selection_end;

    view.rows.resize(static_cast<std::size_t>(row_count));
    for (int r = 0; r < row_count; ++r) {
        const std::size_t i = static_cast<std::size_t>(view.first_line + r);
        if (i >= line_count) {
            break;
        }
        EditRow& row = view.rows[static_cast<std::size_t>(r)];
        const std::size_t start = start_of(i);
        const std::size_t end = std::max(start, std::min(end_of(i), snapshot.text.size()));
        row.text = snapshot.text.substr(start, end - start);
        if (snapshot.focused && i == caret_line && snapshot.caret <= snapshot.text.size()) {
            row.caret = snapshot.caret - start;
        }
        if (selection) {
            row.selection_from = std::clamp(snapshot.selection_start, start, end) - start;
            row.selection_to = std::clamp(snapshot.selection_end, start, end) - start;
        }
    }
    return view;
}

std::optional<EditRepaint> PlanEditRepaint(const EditView& before, const EditView& after) {
    if (!(before.client == after.client) || before.line_height != after.line_height ||
        before.enabled != after.enabled || before.bar.has_value() != after.bar.has_value() ||
        before.rows.size() != after.rows.size()) {
        return std::nullopt;
    }
    EditRepaint plan;
    const int rows = static_cast<int>(after.rows.size());
    const int shift = after.first_line - before.first_line;
    plan.scroll_rows = std::abs(shift) < rows ? shift : 0;
    for (int r = 0; r < rows; ++r) {
        // After the move, row r shows what row r + scroll_rows showed; a row that was cut at
        // the bottom never serves as a source.
        const int source = r + plan.scroll_rows;
        const bool reusable = source >= 0 && source < before.whole_rows &&
                              before.rows[static_cast<std::size_t>(source)] ==
                                  after.rows[static_cast<std::size_t>(r)];
        if (!reusable) {
            plan.rows.push_back(r);
        }
    }
    plan.bar = !same_bar(before.bar, after.bar) || !(before.bar_rect == after.bar_rect);
    const RECT& c = after.client;
    if (plan.scroll_rows != 0) {
        plan.area = c;
    } else {
        for (int r : plan.rows) {
            const int top = c.top + r * after.line_height;
            plan.area = unite(plan.area,
                              {c.left, top, c.right, std::min(c.bottom, top + after.line_height)});
        }
    }
    if (plan.bar) {
        plan.area = unite(plan.area, after.bar_rect);
    }
    return plan;
}

}  // namespace platform::fltk
