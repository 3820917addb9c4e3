#include "platform/fltk/painter.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/edit_control.h"
#include "platform/text.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"

namespace platform::fltk {
namespace {

constexpr Fl_Font kFont = FL_HELVETICA;
constexpr Fl_Fontsize kFontSize = 13;

const Fl_Color kDialogFace = fl_rgb_color(240, 240, 240);
const Fl_Color kWindowBack = FL_WHITE;
const Fl_Color kText = FL_BLACK;
const Fl_Color kGrayText = fl_rgb_color(109, 109, 109);
const Fl_Color kEditBorder = fl_rgb_color(122, 122, 122);
const Fl_Color kHighlight = fl_rgb_color(0, 120, 215);
const Fl_Color kHighlightText = FL_WHITE;
const Fl_Color kButtonFace = fl_rgb_color(225, 225, 225);
const Fl_Color kButtonPressed = fl_rgb_color(204, 228, 247);
const Fl_Color kButtonBorder = fl_rgb_color(173, 173, 173);
const Fl_Color kScrollTrack = fl_rgb_color(240, 240, 240);
const Fl_Color kScrollThumb = fl_rgb_color(205, 205, 205);
const Fl_Color kScrollGlyph = fl_rgb_color(96, 96, 96);

constexpr DWORD kStaticTypeMask = 0x1F;
constexpr DWORD kSsCenter = 0x1;
constexpr DWORD kSsRight = 0x2;
constexpr DWORD kSsNoPrefix = 0x80;

DWORD style_of(HWND hwnd) {
    return static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
}

POINT client_origin_in_top(HWND hwnd) {
    POINT p{};
    ClientToScreen(hwnd, &p);
    POINT top{};
    ClientToScreen(GetAncestorRoot(hwnd), &top);
    return {p.x - top.x, p.y - top.y};
}

int baseline_for(int line_top, int line_height) {
    return line_top + (line_height - fl_height()) / 2 + fl_height() - fl_descent();
}

// Draws the bytes one by one at the advances of `metrics`; returns the x after the last.
int draw_bytes(std::string_view text, int x, int baseline, const FontMetrics& metrics) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            std::string glyph = AnsiToUtf8(std::string_view(&c, 1));
            fl_draw(glyph.c_str(), static_cast<int>(glyph.size()), x, baseline);
        }
        x += metrics.width(byte);
    }
    return x;
}

// Hard lines of a text, at CR LF or a lone LF.
std::vector<std::string> hard_lines(std::string_view text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        if (text[i] == '\n' || text[i] == '\r') {
            lines.emplace_back();
        } else {
            lines.back().push_back(text[i]);
        }
    }
    return lines;
}

// Greedy word wrap at `width`, breaking inside a word only when it alone is wider.
std::vector<std::string> wrap_words(std::string_view text, int width, const FontMetrics& metrics) {
    std::vector<std::string> out;
    for (const std::string& line : hard_lines(text)) {
        std::size_t pos = 0;
        if (line.empty()) {
            out.emplace_back();
            continue;
        }
        while (pos < line.size()) {
            int used = 0;
            std::size_t k = pos;
            while (k < line.size() &&
                   used + metrics.width(static_cast<unsigned char>(line[k])) <= width) {
                used += metrics.width(static_cast<unsigned char>(line[k]));
                ++k;
            }
            if (k >= line.size()) {
                out.push_back(line.substr(pos));
                break;
            }
            std::size_t cut = k;
            while (cut > pos && line[cut] != ' ' && line[cut - 1] != ' ') {
                --cut;
            }
            if (cut == pos) {
                cut = std::max(k, pos + 1);
            }
            out.push_back(line.substr(pos, cut - pos));
            pos = cut;
            while (pos < line.size() && line[pos] == ' ') {
                ++pos;
            }
        }
    }
    return out;
}

// Removes the mnemonic markers: "&&" is a literal ampersand, "&x" shows x.
std::string strip_prefix(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
        }
        out.push_back(text[i]);
    }
    return out;
}

void draw_text_block(std::string_view text, RECT r, DWORD align, Fl_Color color,
                     const FontMetrics& metrics) {
    const int lh = FontMetrics::kLineHeight;
    fl_color(color);
    int y = r.top;
    for (const std::string& line : wrap_words(text, r.width(), metrics)) {
        if (y >= r.bottom) {
            break;
        }
        int w = metrics.text_width(line);
        int x = r.left;
        if (align == kSsCenter) {
            x = r.left + (r.width() - w) / 2;
        } else if (align == kSsRight) {
            x = r.right - w;
        }
        draw_bytes(line, x, baseline_for(y, lh), metrics);
        y += lh;
    }
}

void draw_icon(int id, RECT r) {
    const int size = std::min({32, r.width(), r.height()});
    if (size <= 4) {
        return;
    }
    const int x = r.left;
    const int y = r.top;
    const char* glyph = "i";
    Fl_Color back = fl_rgb_color(0, 99, 177);
    switch (id) {
        case IDI_HAND:
            glyph = "X";
            back = fl_rgb_color(232, 17, 35);
            break;
        case IDI_QUESTION:
            glyph = "?";
            break;
        case IDI_EXCLAMATION: {
            fl_color(fl_rgb_color(252, 209, 22));
            fl_polygon(x + size / 2, y + 1, x + size - 1, y + size - 2, x, y + size - 2);
            fl_color(FL_BLACK);
            fl_font(kFont | FL_BOLD, size * 2 / 3);
            fl_draw("!", x, y + size / 6, size, size - size / 6, FL_ALIGN_CENTER, nullptr, 0);
            fl_font(kFont, kFontSize);
            return;
        }
        default:
            break;
    }
    fl_color(back);
    fl_pie(x, y, size, size, 0, 360);
    fl_color(FL_WHITE);
    fl_font(kFont | FL_BOLD, size * 2 / 3);
    fl_draw(glyph, x, y, size, size, FL_ALIGN_CENTER, nullptr, 0);
    fl_font(kFont, kFontSize);
}

void draw_arrow(int cx, int cy, bool up, Fl_Color color) {
    fl_color(color);
    if (up) {
        fl_polygon(cx - 4, cy + 2, cx + 4, cy + 2, cx, cy - 2);
    } else {
        fl_polygon(cx - 4, cy - 2, cx + 4, cy - 2, cx, cy + 2);
    }
}

void draw_scroll_bar(const EditScrollBar& bar) {
    const RECT r = bar.rect;
    const ScrollBarLayout& l = bar.layout;
    fl_color(kScrollTrack);
    fl_rectf(r.left, r.top, r.width(), r.height());
    const Fl_Color glyph = l.scrollable ? kScrollGlyph : kScrollThumb;
    const int cx = r.left + r.width() / 2;
    draw_arrow(cx, r.top + l.arrow / 2, true, glyph);
    draw_arrow(cx, r.top + l.track_bottom + l.arrow / 2, false, glyph);
    if (l.thumb_height > 0) {
        fl_color(kScrollThumb);
        fl_rectf(r.left + 2, r.top + l.thumb_top, r.width() - 4, l.thumb_height);
    }
}

// One row of an edit control's view, over a cleared background.
void draw_edit_row(const EditView& view, int r, const FontMetrics& metrics) {
    const EditRow& row = view.rows[static_cast<std::size_t>(r)];
    const int lh = view.line_height;
    const int top = view.client.top + r * lh;
    const int baseline = baseline_for(top, lh);
    fl_color(kWindowBack);
    fl_rectf(view.client.left, top, view.client.width(), lh);
    int x = view.client.left;
    for (std::size_t b = 0; b < row.text.size(); ++b) {
        const auto byte = static_cast<unsigned char>(row.text[b]);
        const int w = metrics.width(byte);
        const bool selected = b >= row.selection_from && b < row.selection_to;
        if (selected) {
            fl_color(kHighlight);
            fl_rectf(x, top, w, lh);
        }
        fl_color(selected ? kHighlightText : (view.enabled ? kText : kGrayText));
        draw_bytes(std::string_view(&row.text[b], 1), x, baseline, metrics);
        x += w;
    }
    if (row.caret != kNoCaret) {
        const int cx = view.client.left + metrics.text_width(std::string_view(row.text).substr(
                                              0, std::min(row.caret, row.text.size())));
        fl_color(kText);
        fl_line(cx, top, cx, top + lh - 1);
    }
}

void draw_edit_bar(const EditView& view) {
    if (view.bar) {
        draw_scroll_bar(EditScrollBar{view.bar_rect, {}, *view.bar});
    }
}

void draw_edit(HWND hwnd, RECT win, const FontMetrics& metrics, EditViews* drawn) {
    const DWORD style = style_of(hwnd);
    fl_color(kWindowBack);
    fl_rectf(win.left, win.top, win.width(), win.height());
    if ((style & WS_BORDER) != 0) {
        fl_color(kEditBorder);
        fl_rect(win.left, win.top, win.width(), win.height());
    }
    std::optional<EditView> view = CurrentEditView(hwnd);
    if (!view) {
        return;
    }
    fl_push_clip(view->client.left, view->client.top, view->client.width(), view->client.height());
    for (int r = 0; r < static_cast<int>(view->rows.size()); ++r) {
        draw_edit_row(*view, r, metrics);
    }
    fl_pop_clip();
    draw_edit_bar(*view);
    if (drawn != nullptr) {
        (*drawn)[hwnd] = std::move(*view);
    }
}

void draw_button(HWND hwnd, RECT win, const FontMetrics& metrics) {
    const DWORD style = style_of(hwnd);
    const bool is_default = (style & 0xF) == BS_DEFPUSHBUTTON;
    const bool pressed = IsButtonPressed(hwnd);
    const bool enabled = IsWindowEnabled(hwnd);
    fl_color(pressed ? kButtonPressed : kButtonFace);
    fl_rectf(win.left, win.top, win.width(), win.height());
    fl_color(is_default ? kHighlight : kButtonBorder);
    fl_rect(win.left, win.top, win.width(), win.height());
    if (is_default) {
        fl_rect(win.left + 1, win.top + 1, win.width() - 2, win.height() - 2);
    }
    if (GetFocus() == hwnd) {
        fl_color(kText);
        fl_line_style(FL_DOT);
        fl_rect(win.left + 3, win.top + 3, win.width() - 6, win.height() - 6);
        fl_line_style(0);
    }
    std::string caption = strip_prefix(GetStoredWindowText(hwnd));
    const int w = metrics.text_width(caption);
    const int x = win.left + (win.width() - w) / 2;
    const int top = win.top + (win.height() - FontMetrics::kLineHeight) / 2;
    fl_color(enabled ? kText : kGrayText);
    draw_bytes(caption, x, baseline_for(top, FontMetrics::kLineHeight), metrics);
}

void draw_window(HWND hwnd, const FontMetrics& metrics, EditViews* drawn) {
    if (!IsWindowVisible(hwnd)) {
        return;
    }
    const RECT win = WindowRectInTop(hwnd);
    fl_push_clip(win.left, win.top, win.width(), win.height());
    const std::string cls = GetClassName(hwnd);
    const DWORD style = style_of(hwnd);
    if (EqualsIgnoringCase(cls, "Edit")) {
        draw_edit(hwnd, win, metrics, drawn);
    } else if (EqualsIgnoringCase(cls, "Button")) {
        draw_button(hwnd, win, metrics);
    } else if (EqualsIgnoringCase(cls, "Static")) {
        if ((style & kStaticTypeMask) == SS_ICON) {
            draw_icon(GetStaticIconId(hwnd), win);
        } else {
            std::string text = GetStoredWindowText(hwnd);
            if ((style & kSsNoPrefix) == 0) {
                text = strip_prefix(text);
            }
            draw_text_block(text, ClientRectInTop(hwnd), style & kStaticTypeMask,
                            IsWindowEnabled(hwnd) ? kText : kGrayText, metrics);
        }
    } else if ((style & WS_BORDER) != 0) {
        fl_color(kEditBorder);
        fl_rect(win.left, win.top, win.width(), win.height());
    }
    for (HWND child : GetChildren(hwnd)) {
        draw_window(child, metrics, drawn);
    }
    fl_pop_clip();
}

bool contains(RECT r, POINT p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

}  // namespace

void FontMetrics::load() {
    fl_font(kFont, kFontSize);
    for (int b = 0; b < 256; ++b) {
        auto byte = static_cast<unsigned char>(b);
        if (byte < 0x20 || byte == 0x7F) {
            m_widths[byte] = 0;
            continue;
        }
        char c = static_cast<char>(byte);
        std::string glyph = AnsiToUtf8(std::string_view(&c, 1));
        m_widths[byte] =
            static_cast<int>(std::lround(fl_width(glyph.c_str(), static_cast<int>(glyph.size()))));
    }
    // A tab advances like four blanks; the other control bytes take no room.
    m_widths['\t'] = 4 * m_widths[' '];
}

int FontMetrics::text_width(std::string_view text) const {
    int total = 0;
    for (char c : text) {
        total += m_widths[static_cast<unsigned char>(c)];
    }
    return total;
}

RECT WindowRectInTop(HWND hwnd) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    POINT top{};
    ClientToScreen(GetAncestorRoot(hwnd), &top);
    return {r.left - top.x, r.top - top.y, r.right - top.x, r.bottom - top.y};
}

RECT ClientRectInTop(HWND hwnd) {
    RECT c{};
    GetClientRect(hwnd, &c);
    POINT o = client_origin_in_top(hwnd);
    return {o.x, o.y, o.x + c.width(), o.y + c.height()};
}

HWND WindowAt(HWND top, POINT point) {
    HWND found = top;
    // Later children are drawn over earlier ones, so the last match wins.
    for (HWND child : GetChildren(top)) {
        if (IsWindowVisible(child) && contains(WindowRectInTop(child), point)) {
            found = WindowAt(child, point);
        }
    }
    return found;
}

std::optional<EditScrollBar> FindEditScrollBar(HWND hwnd) {
    const DWORD style = style_of(hwnd);
    if ((style & WS_VSCROLL) == 0 || !EqualsIgnoringCase(GetClassName(hwnd), "Edit")) {
        return std::nullopt;
    }
    EditSnapshot snap;
    if (!GetEditSnapshot(hwnd, &snap)) {
        return std::nullopt;
    }
    const RECT client = ClientRectInTop(hwnd);
    EditScrollBar bar;
    bar.rect = {client.right, client.top, client.right + kScrollBarWidth, client.bottom};
    bar.state.visible_lines = snap.visible_lines;
    bar.state.last_first_line = snap.last_first_line;
    bar.state.first_line = snap.first_visible_line;
    bar.layout = LayOutScrollBar(bar.rect.height(), bar.rect.width(), bar.state);
    return bar;
}

void PaintTopLevel(HWND top, const FontMetrics& metrics, EditViews* drawn) {
    fl_font(kFont, kFontSize);
    const RECT client = ClientRectInTop(top);
    fl_color(kDialogFace);
    fl_rectf(0, 0, client.width(), client.height());
    for (HWND child : GetChildren(top)) {
        draw_window(child, metrics, drawn);
    }
}

std::optional<EditView> CurrentEditView(HWND edit) {
    if (!IsWindowVisible(edit) || !EqualsIgnoringCase(GetClassName(edit), "Edit")) {
        return std::nullopt;
    }
    EditSnapshot snap;
    if (!GetEditSnapshot(edit, &snap)) {
        return std::nullopt;
    }
    EditView view = ViewFromSnapshot(snap, ClientRectInTop(edit), IsWindowEnabled(edit));
    if (std::optional<EditScrollBar> bar = FindEditScrollBar(edit)) {
        view.bar = bar->layout;
        view.bar_rect = bar->rect;
    }
    return view;
}

void PaintEditRepaint(const EditView& view, const EditRepaint& plan, const FontMetrics& metrics) {
    fl_font(kFont, kFontSize);
    const RECT& c = view.client;
    fl_push_clip(c.left, c.top, c.width(), c.height());
    if (plan.scroll_rows != 0) {
        // The rows that stay move by whole rows inside the back buffer; only the rest is drawn.
        const int shift = std::abs(plan.scroll_rows) * view.line_height;
        const int from = plan.scroll_rows > 0 ? c.top + shift : c.top;
        const int to = plan.scroll_rows > 0 ? c.top : c.top + shift;
        XCopyArea(fl_display, fl_window, fl_window, fl_gc, c.left, from,
                  static_cast<unsigned>(c.width()), static_cast<unsigned>(c.height() - shift),
                  c.left, to);
    }
    for (int r : plan.rows) {
        draw_edit_row(view, r, metrics);
    }
    fl_pop_clip();
    if (plan.bar) {
        draw_edit_bar(view);
    }
}

}  // namespace platform::fltk
