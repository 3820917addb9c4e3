#include "platform/edit_control.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <string_view>

#include "platform/clipboard.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/control_values.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/state.h"
#include "platform/window_system/window_system.h"

namespace platform {
namespace {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();
constexpr std::string_view kLineBreak = "\r\n";

struct EditState {
    std::string text;
    std::size_t anchor = 0;  // fixed end of the selection
    std::size_t caret = 0;   // moving end of the selection
    int first_line = 0;
    std::size_t limit = kNoLimit;
    bool read_only = false;
    bool multiline = false;
    bool want_return = false;
    bool modified = false;
    bool focused = false;
    bool dragging = false;
    int preferred_x = -1;  // kept while Up / Down move the caret through short lines

    bool can_undo = false;
    bool typing_run = false;  // consecutive typed characters share one undo step
    std::string undo_text;
    std::size_t undo_anchor = 0;
    std::size_t undo_caret = 0;

    bool layout_valid = false;
    int layout_width = -1;
    std::vector<std::size_t> line_starts{0};
};

detail::ControlValues<std::shared_ptr<EditState>>& registry() {
    static detail::ControlValues<std::shared_ptr<EditState>> instance;
    return instance;
}

std::shared_ptr<EditState> find_state(HWND hwnd) {
    return registry().find(hwnd);
}

enum class Extend { No, Yes };
enum class Undoable { No, Yes };

int to_int32(std::uintptr_t v) {
    return static_cast<int>(static_cast<std::int32_t>(v));
}

bool is_key_down(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

bool is_word_byte(char c) {
    auto u = static_cast<unsigned char>(c);
    return u > ' ' && c != '\r' && c != '\n';
}

class EditControl {
  public:
    EditControl(HWND hwnd, EditState& state) : m_hwnd(hwnd), m_s(state) {}

    LRESULT handle(UINT msg, WPARAM wparam, LPARAM lparam);

    // Layout -------------------------------------------------------------------------------
    void ensure_layout() {
        RECT client{};
        GetClientRect(m_hwnd, &client);
        const int width = client.width();
        if (m_s.layout_valid && m_s.layout_width == width) {
            return;
        }
        m_s.line_starts = wrap(width);
        m_s.layout_width = width;
        m_s.layout_valid = true;
        m_s.first_line = std::clamp(m_s.first_line, 0, last_first_line());
    }
    // The view scrolls no further than where its last page is full, so that scrolling to the
    // end shows the end of the text and not a window with one empty line.
    int last_first_line() { return std::max(0, line_count() - visible_lines()); }
    int line_count() const { return static_cast<int>(m_s.line_starts.size()); }
    int line_height() const { return std::max(1, CurrentDisplay().text_cell().cy); }

  private:
    std::vector<std::size_t> wrap(int width) const {
        std::vector<std::size_t> starts{0};
        if (!m_s.multiline) {
            return starts;
        }
        std::array<int, 256> widths{};
        Display& display = CurrentDisplay();
        for (int c = 0; c < 256; ++c) {
            widths[static_cast<std::size_t>(c)] =
                display.text_width(std::string(1, static_cast<char>(c)));
        }
        const std::string& text = m_s.text;
        std::size_t start = 0;
        while (true) {
            std::size_t end = text.find(kLineBreak, start);
            const bool hard = end != std::string::npos;
            if (!hard) {
                end = text.size();
            }
            if (width > 0) {
                wrap_segment(start, end, width, widths, starts);
            }
            if (!hard) {
                break;
            }
            start = end + kLineBreak.size();
            starts.push_back(start);
        }
        return starts;
    }

    void wrap_segment(std::size_t pos, std::size_t end, int width,
                      const std::array<int, 256>& widths, std::vector<std::size_t>& starts) const {
        const std::string& text = m_s.text;
        auto w_of = [&](std::size_t i) { return widths[static_cast<unsigned char>(text[i])]; };
        while (pos < end) {
            int used = 0;
            std::size_t k = pos;
            while (k < end && used + w_of(k) <= width) {
                used += w_of(k);
                ++k;
            }
            if (k >= end) {
                return;
            }
            std::size_t brk = k;
            if (text[k] == ' ') {
                while (brk < end && text[brk] == ' ') {
                    ++brk;
                }
                if (brk >= end) {
                    return;
                }
            } else {
                std::size_t b = k;
                while (b > pos && text[b - 1] != ' ') {
                    --b;
                }
                brk = b > pos ? b : std::max(k, pos + 1);
            }
            starts.push_back(brk);
            pos = brk;
        }
    }

  public:
    int line_of(std::size_t index) {
        ensure_layout();
        auto it = std::upper_bound(m_s.line_starts.begin(), m_s.line_starts.end(), index);
        return static_cast<int>(it - m_s.line_starts.begin()) - 1;
    }
    std::size_t line_start(int line) {
        ensure_layout();
        return m_s.line_starts[static_cast<std::size_t>(std::clamp(line, 0, line_count() - 1))];
    }
    // End of a displayed line, before its line break.
    std::size_t line_end(int line) {
        ensure_layout();
        if (line + 1 >= line_count()) {
            return m_s.text.size();
        }
        std::size_t next = m_s.line_starts[static_cast<std::size_t>(line) + 1];
        if (next >= 2 && m_s.text.compare(next - 2, 2, kLineBreak) == 0) {
            return next - 2;
        }
        return next;
    }
    int x_of(std::size_t index) {
        int line = line_of(index);
        std::size_t start = line_start(line);
        return CurrentDisplay().text_width(m_s.text.substr(start, index - start));
    }
    std::size_t index_at_x(int line, int x) {
        std::size_t start = line_start(line);
        std::size_t end = line_end(line);
        Display& display = CurrentDisplay();
        int used = 0;
        for (std::size_t i = start; i < end; ++i) {
            int w = display.text_width(std::string(1, m_s.text[i]));
            if (x < used + (w + 1) / 2) {
                return i;
            }
            used += w;
        }
        return end;
    }
    int visible_lines() {
        RECT client{};
        GetClientRect(m_hwnd, &client);
        return std::max(1, client.height() / line_height());
    }
    // Character index and line under a client point.
    std::pair<std::size_t, int> char_from_point(int x, int y) {
        ensure_layout();
        int offset = y >= 0 ? y / line_height() : -((-y + line_height() - 1) / line_height());
        int line = std::clamp(m_s.first_line + offset, 0, line_count() - 1);
        return {index_at_x(line, x), line};
    }

    // Selection ----------------------------------------------------------------------------
    std::size_t sel_start() const { return std::min(m_s.anchor, m_s.caret); }
    std::size_t sel_end() const { return std::max(m_s.anchor, m_s.caret); }
    std::size_t prev_pos(std::size_t i) const {
        if (i >= 2 && m_s.text.compare(i - 2, 2, kLineBreak) == 0) {
            return i - 2;
        }
        return i > 0 ? i - 1 : 0;
    }
    std::size_t next_pos(std::size_t i) const {
        if (m_s.text.compare(i, 2, kLineBreak) == 0) {
            return i + 2;
        }
        return std::min(i + 1, m_s.text.size());
    }
    std::size_t word_left(std::size_t i) const {
        while (i > 0 && !is_word_byte(m_s.text[i - 1])) {
            --i;
        }
        while (i > 0 && is_word_byte(m_s.text[i - 1])) {
            --i;
        }
        return i;
    }
    std::size_t word_right(std::size_t i) const {
        const std::size_t n = m_s.text.size();
        while (i < n && is_word_byte(m_s.text[i])) {
            ++i;
        }
        while (i < n && !is_word_byte(m_s.text[i])) {
            ++i;
        }
        return i;
    }

    void move_caret(std::size_t to, Extend extend, bool keep_x = false) {
        m_s.caret = std::min(to, m_s.text.size());
        if (extend == Extend::No) {
            m_s.anchor = m_s.caret;
        }
        if (!keep_x) {
            m_s.preferred_x = -1;
        }
        m_s.typing_run = false;
        scroll_caret_into_view();
        changed_view();
    }

    // Scrolling ----------------------------------------------------------------------------
    bool scroll_to(int line) {
        ensure_layout();
        int target = std::clamp(line, 0, last_first_line());
        if (target == m_s.first_line) {
            return false;
        }
        m_s.first_line = target;
        changed_view();
        return true;
    }
    void scroll_caret_into_view() {
        int line = line_of(m_s.caret);
        int visible = visible_lines();
        if (line < m_s.first_line) {
            scroll_to(line);
        } else if (line >= m_s.first_line + visible) {
            scroll_to(line - visible + 1);
        }
    }
    // A scroll request code; returns the number of lines moved.
    int scroll_request(WORD code, int position) {
        ensure_layout();
        int before = m_s.first_line;
        int visible = visible_lines();
        switch (code) {
            case SB_LINEUP:
                scroll_to(before - 1);
                break;
            case SB_LINEDOWN:
                scroll_to(before + 1);
                break;
            case SB_PAGEUP:
                scroll_to(before - visible);
                break;
            case SB_PAGEDOWN:
                scroll_to(before + visible);
                break;
            case SB_THUMBPOSITION:
            case SB_THUMBTRACK:
                scroll_to(position);
                break;
            case SB_TOP:
                scroll_to(0);
                break;
            case SB_BOTTOM:
                scroll_to(last_first_line());
                break;
            default:
                break;
        }
        return m_s.first_line - before;
    }

    // Changes ------------------------------------------------------------------------------
    void changed_view() { CurrentDisplay().window_changed(m_hwnd); }

    void notify(WORD code) {
        HWND parent = GetParent(m_hwnd);
        if (parent != 0) {
            SendMessage(parent, WM_COMMAND, MAKELONG(static_cast<WORD>(GetDlgCtrlID(m_hwnd)), code),
                        static_cast<LPARAM>(m_hwnd));
        }
    }

    void text_changed() {
        m_s.layout_valid = false;
        ensure_layout();
        // Keeps the window's stored text, which displays read, equal to ours.
        DefWindowProc(m_hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_s.text.c_str()));
        notify(EN_CHANGE);
    }

    void remember_for_undo(bool typing) {
        if (typing && m_s.typing_run && m_s.can_undo) {
            return;
        }
        m_s.undo_text = m_s.text;
        m_s.undo_anchor = m_s.anchor;
        m_s.undo_caret = m_s.caret;
        m_s.can_undo = true;
    }

    // Replaces the selection; false when nothing changed. `limited` applies the text limit.
    bool replace_selection(std::string_view with, Undoable undoable, bool limited,
                           bool typing = false) {
        const std::size_t a = sel_start();
        const std::size_t b = sel_end();
        std::string insert(with);
        insert.erase(std::find(insert.begin(), insert.end(), '\0'), insert.end());
        if (limited && m_s.limit != kNoLimit) {
            std::size_t remaining = m_s.text.size() - (b - a);
            std::size_t room = m_s.limit > remaining ? m_s.limit - remaining : 0;
            if (insert.size() > room) {
                insert.resize(room);
                notify(EN_MAXTEXT);
                if (insert.empty() && a == b) {
                    return false;
                }
            }
        }
        if (insert.empty() && a == b) {
            return false;
        }
        if (undoable == Undoable::Yes) {
            remember_for_undo(typing);
        } else {
            m_s.can_undo = false;
        }
        m_s.text.replace(a, b - a, insert);
        m_s.anchor = m_s.caret = a + insert.size();
        m_s.modified = true;
        m_s.preferred_x = -1;
        m_s.typing_run = typing;
        text_changed();
        scroll_caret_into_view();
        return true;
    }

    void copy() {
        if (sel_end() > sel_start()) {
            SetClipboardText(
                std::string_view(m_s.text).substr(sel_start(), sel_end() - sel_start()));
        }
    }
    bool cut() {
        if (m_s.read_only || sel_end() == sel_start()) {
            return false;
        }
        copy();
        return replace_selection("", Undoable::Yes, false);
    }
    bool paste() {
        if (m_s.read_only) {
            return false;
        }
        std::string text = GetClipboardText();
        if (!m_s.multiline) {
            text.resize(std::min(text.size(), text.find_first_of("\r\n")));
        }
        return replace_selection(text, Undoable::Yes, true);
    }
    bool clear() {
        if (m_s.read_only || sel_end() == sel_start()) {
            return false;
        }
        return replace_selection("", Undoable::Yes, false);
    }
    bool undo() {
        if (m_s.read_only || !m_s.can_undo) {
            return false;
        }
        std::swap(m_s.text, m_s.undo_text);
        std::swap(m_s.anchor, m_s.undo_anchor);
        std::swap(m_s.caret, m_s.undo_caret);
        m_s.anchor = std::min(m_s.anchor, m_s.text.size());
        m_s.caret = std::min(m_s.caret, m_s.text.size());
        m_s.typing_run = false;
        m_s.modified = true;
        text_changed();
        scroll_caret_into_view();
        return true;
    }
    void delete_forward() {
        if (m_s.read_only) {
            return;
        }
        if (sel_start() == sel_end()) {
            m_s.anchor = m_s.caret;
            m_s.caret = next_pos(m_s.caret);
        }
        replace_selection("", Undoable::Yes, false);
    }
    void delete_backward() {
        if (m_s.read_only) {
            return;
        }
        if (sel_start() == sel_end()) {
            m_s.anchor = prev_pos(m_s.caret);
        }
        replace_selection("", Undoable::Yes, false);
    }

    void key_down(int vk);
    void key_char(unsigned code);

    void set_text(const char* text) {
        m_s.text = text != nullptr ? text : "";
        m_s.anchor = m_s.caret = 0;
        m_s.first_line = 0;
        m_s.can_undo = false;
        m_s.typing_run = false;
        m_s.modified = false;
        m_s.preferred_x = -1;
        text_changed();
    }

    void set_selection(int start, int end) {
        const std::size_t n = m_s.text.size();
        auto clamp_pos = [n](int v) {
            return v < 0 ? n : std::min(static_cast<std::size_t>(v), n);
        };
        if (start == -1) {
            m_s.anchor = m_s.caret;
        } else {
            m_s.anchor = clamp_pos(start);
            m_s.caret = clamp_pos(end);
        }
        m_s.preferred_x = -1;
        m_s.typing_run = false;
        changed_view();
    }

    void select_word_at(std::size_t i) {
        std::size_t a = i;
        std::size_t b = i;
        while (a > 0 && is_word_byte(m_s.text[a - 1])) {
            --a;
        }
        while (b < m_s.text.size() && is_word_byte(m_s.text[b])) {
            ++b;
        }
        m_s.anchor = a;
        m_s.caret = b;
        changed_view();
    }

  private:
    HWND m_hwnd;
    EditState& m_s;
};

void EditControl::key_down(int vk) {
    const bool shift = is_key_down(VK_SHIFT);
    const bool ctrl = is_key_down(VK_CONTROL);
    const Extend extend = shift ? Extend::Yes : Extend::No;
    const bool has_selection = sel_start() != sel_end();
    switch (vk) {
        case VK_LEFT:
        case VK_RIGHT: {
            const bool left = vk == VK_LEFT;
            if (ctrl) {
                move_caret(left ? word_left(m_s.caret) : word_right(m_s.caret), extend);
            } else if (has_selection && !shift) {
                move_caret(left ? sel_start() : sel_end(), extend);
            } else {
                move_caret(left ? prev_pos(m_s.caret) : next_pos(m_s.caret), extend);
            }
            break;
        }
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT: {
            if (!m_s.multiline) {
                break;
            }
            int step = vk == VK_UP ? -1 : vk == VK_DOWN ? 1 : visible_lines();
            if (vk == VK_PRIOR) {
                step = -step;
            }
            int x = m_s.preferred_x >= 0 ? m_s.preferred_x : x_of(m_s.caret);
            int line = std::clamp(line_of(m_s.caret) + step, 0, line_count() - 1);
            if (vk == VK_PRIOR || vk == VK_NEXT) {
                scroll_to(m_s.first_line + step);
            }
            move_caret(index_at_x(line, x), extend, true);
            m_s.preferred_x = x;
            break;
        }
        case VK_HOME:
            move_caret(ctrl ? 0 : line_start(line_of(m_s.caret)), extend);
            break;
        case VK_END:
            move_caret(ctrl ? m_s.text.size() : line_end(line_of(m_s.caret)), extend);
            break;
        case VK_DELETE:
            if (shift) {
                cut();
            } else {
                delete_forward();
            }
            break;
        case VK_INSERT:
            if (ctrl) {
                copy();
            } else if (shift) {
                paste();
            }
            break;
        default:
            break;
    }
}

void EditControl::key_char(unsigned code) {
    switch (code) {
        case 1:  // Ctrl+A
            m_s.anchor = 0;
            m_s.caret = m_s.text.size();
            changed_view();
            return;
        case 3:  // Ctrl+C
            copy();
            return;
        case 22:  // Ctrl+V
            paste();
            return;
        case 24:  // Ctrl+X
            cut();
            return;
        case 26:  // Ctrl+Z
            undo();
            return;
        case VK_BACK:
            delete_backward();
            return;
        case VK_RETURN:
            if (!m_s.read_only && m_s.multiline && m_s.want_return) {
                replace_selection(kLineBreak, Undoable::Yes, true);
            }
            return;
        case VK_TAB:
            if (!m_s.read_only && m_s.multiline) {
                replace_selection("\t", Undoable::Yes, true, true);
            }
            return;
        default:
            break;
    }
    if (code < 32 || code > 255 || m_s.read_only) {
        return;
    }
    const char c = static_cast<char>(code);
    replace_selection(std::string_view(&c, 1), Undoable::Yes, true, true);
}

LRESULT EditControl::handle(UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_SETTEXT:
            set_text(reinterpret_cast<const char*>(lparam));
            return 1;
        case WM_GETTEXT:
            return detail::AnswerGetText(m_s.text, wparam, lparam);
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(m_s.text.size());
        case EM_GETSEL: {
            const std::size_t a = sel_start();
            const std::size_t b = sel_end();
            if (wparam != 0) {
                *reinterpret_cast<DWORD*>(wparam) = static_cast<DWORD>(a);
            }
            if (lparam != 0) {
                *reinterpret_cast<DWORD*>(lparam) = static_cast<DWORD>(b);
            }
            return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(a), static_cast<WORD>(b)));
        }
        case EM_SETSEL:
            set_selection(to_int32(wparam), to_int32(static_cast<std::uintptr_t>(lparam)));
            return 0;
        case EM_GETLINECOUNT:
            ensure_layout();
            return line_count();
        case EM_LINEINDEX: {
            ensure_layout();
            int line = to_int32(wparam);
            if (line == -1) {
                line = line_of(m_s.caret);
            }
            if (line < 0 || line >= line_count()) {
                return -1;
            }
            return static_cast<LRESULT>(line_start(line));
        }
        case EM_LINEFROMCHAR: {
            int index = to_int32(wparam);
            std::size_t at = index < 0 ? sel_start() : static_cast<std::size_t>(index);
            return line_of(std::min(at, m_s.text.size()));
        }
        case EM_LINELENGTH: {
            int index = to_int32(wparam);
            std::size_t at = index < 0 ? m_s.caret : static_cast<std::size_t>(index);
            int line = line_of(std::min(at, m_s.text.size()));
            return static_cast<LRESULT>(line_end(line) - line_start(line));
        }
        case EM_LINESCROLL:
            if (!m_s.multiline) {
                return 0;
            }
            ensure_layout();
            scroll_to(m_s.first_line + to_int32(static_cast<std::uintptr_t>(lparam)));
            return 1;
        case EM_SCROLL: {
            if (!m_s.multiline) {
                return 0;
            }
            WORD code = LOWORD(wparam);
            if (code > SB_PAGEDOWN) {
                return 0;
            }
            int moved = scroll_request(code, 0);
            return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(moved), 1));
        }
        case WM_VSCROLL:
            if (m_s.multiline) {
                scroll_request(LOWORD(wparam), HIWORD(wparam));
            }
            return 0;
        case EM_SCROLLCARET:
            scroll_caret_into_view();
            return 1;
        case EM_GETFIRSTVISIBLELINE:
            ensure_layout();
            return m_s.first_line;
        case EM_CHARFROMPOS: {
            auto x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
            auto y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
            auto [index, line] = char_from_point(x, y);
            return static_cast<LRESULT>(
                MAKELONG(static_cast<WORD>(index), static_cast<WORD>(line)));
        }
        case EM_REPLACESEL: {
            const char* text = reinterpret_cast<const char*>(lparam);
            replace_selection(text != nullptr ? text : "",
                              wparam != 0 ? Undoable::Yes : Undoable::No, true);
            return 0;
        }
        case EM_LIMITTEXT:
            m_s.limit = wparam == 0 ? kNoLimit : static_cast<std::size_t>(wparam);
            return 0;
        case EM_GETLIMITTEXT:
            return m_s.limit == kNoLimit ? std::numeric_limits<LRESULT>::max()
                                         : static_cast<LRESULT>(m_s.limit);
        case EM_UNDO:
        case WM_UNDO:
            return undo() ? 1 : 0;
        case EM_CANUNDO:
            return m_s.can_undo ? 1 : 0;
        case EM_EMPTYUNDOBUFFER:
            m_s.can_undo = false;
            m_s.typing_run = false;
            return 0;
        case EM_GETMODIFY:
            return m_s.modified ? 1 : 0;
        case EM_SETMODIFY:
            m_s.modified = wparam != 0;
            return 0;
        case EM_SETREADONLY: {
            m_s.read_only = wparam != 0;
            auto style = static_cast<DWORD>(GetWindowLongPtr(m_hwnd, GWL_STYLE));
            style = m_s.read_only ? (style | ES_READONLY) : (style & ~ES_READONLY);
            SetWindowLongPtr(m_hwnd, GWL_STYLE, static_cast<LONG_PTR>(style));
            changed_view();
            return 1;
        }
        case WM_COPY:
            copy();
            return 0;
        case WM_CUT:
            cut();
            return 0;
        case WM_PASTE:
            paste();
            return 0;
        case WM_CLEAR:
            clear();
            return 0;
        case WM_KEYDOWN:
            key_down(static_cast<int>(wparam));
            return 0;
        case WM_CHAR:
            key_char(static_cast<unsigned>(wparam));
            return 0;
        case WM_GETDLGCODE: {
            LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
            return m_s.multiline ? code | DLGC_WANTALLKEYS : code;
        }
        case WM_LBUTTONDOWN: {
            if (GetFocus() != m_hwnd) {
                SetFocus(m_hwnd);
            }
            auto x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
            auto y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
            m_s.dragging = true;
            move_caret(char_from_point(x, y).first,
                       (wparam & MK_SHIFT) != 0 ? Extend::Yes : Extend::No);
            return 0;
        }
        case WM_MOUSEMOVE:
            if (m_s.dragging && (wparam & MK_LBUTTON) != 0) {
                auto x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
                auto y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
                move_caret(char_from_point(x, y).first, Extend::Yes);
            } else {
                m_s.dragging = false;
            }
            return 0;
        case WM_LBUTTONUP:
            m_s.dragging = false;
            return 0;
        case WM_LBUTTONDBLCLK: {
            auto x = static_cast<short>(LOWORD(static_cast<std::uintptr_t>(lparam)));
            auto y = static_cast<short>(HIWORD(static_cast<std::uintptr_t>(lparam)));
            select_word_at(char_from_point(x, y).first);
            return 0;
        }
        case WM_SETFOCUS:
            m_s.focused = true;
            changed_view();
            notify(EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            m_s.focused = false;
            m_s.dragging = false;
            changed_view();
            notify(EN_KILLFOCUS);
            return 0;
        case WM_SETFONT:
            DefWindowProc(m_hwnd, msg, wparam, lparam);
            m_s.layout_valid = false;
            if (lparam != 0) {
                changed_view();
            }
            return 0;
        case WM_SIZE:
            m_s.layout_valid = false;
            ensure_layout();
            return 0;
        case WM_ENABLE:
            changed_view();
            return 0;
        default:
            return DefWindowProc(m_hwnd, msg, wparam, lparam);
    }
}

}  // namespace

namespace detail {

LRESULT EditClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_CREATE) {
        auto state = std::make_shared<EditState>();
        auto style = static_cast<DWORD>(GetWindowLongPtr(hwnd, GWL_STYLE));
        state->multiline = (style & ES_MULTILINE) != 0;
        state->read_only = (style & ES_READONLY) != 0;
        state->want_return = (style & ES_WANTRETURN) != 0;
        state->text = GetStoredWindowText(hwnd);
        registry().exchange(hwnd, state);
        return 0;
    }
    std::shared_ptr<EditState> state = find_state(hwnd);
    if (!state) {
        return DefWindowProc(hwnd, msg, wparam, lparam);
    }
    if (msg == WM_DESTROY) {
        registry().erase(hwnd);
        return 0;
    }
    EditControl control(hwnd, *state);
    return control.handle(msg, wparam, lparam);
}

}  // namespace detail

bool GetEditSnapshot(HWND hwnd, EditSnapshot* snapshot) {
    std::shared_ptr<EditState> state = find_state(hwnd);
    if (!state || snapshot == nullptr) {
        return false;
    }
    EditControl control(hwnd, *state);
    control.ensure_layout();
    snapshot->text = state->text;
    snapshot->selection_start = std::min(state->anchor, state->caret);
    snapshot->selection_end = std::max(state->anchor, state->caret);
    snapshot->caret = state->caret;
    snapshot->first_visible_line = state->first_line;
    snapshot->line_starts = state->line_starts;
    snapshot->line_height = control.line_height();
    snapshot->visible_lines = control.visible_lines();
    snapshot->last_first_line = control.last_first_line();
    snapshot->read_only = state->read_only;
    snapshot->focused = state->focused;
    return true;
}

}  // namespace platform
