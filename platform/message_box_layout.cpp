#include "platform/message_box_layout.h"

#include <algorithm>
#include <array>
#include <vector>

namespace platform {
namespace {

// Widths of single bytes, each measured once.
class ByteWidths {
  public:
    explicit ByteWidths(const TextMeasure& measure) : m_measure(measure) { m_known.fill(false); }

    int of(char byte) {
        const auto index = static_cast<unsigned char>(byte);
        if (!m_known[index]) {
            m_widths[index] = std::max(0, m_measure(std::string_view(&byte, 1)));
            m_known[index] = true;
        }
        return m_widths[index];
    }
    int of(std::string_view text) {
        int total = 0;
        for (char c : text) {
            total += of(c);
        }
        return total;
    }

  private:
    const TextMeasure& m_measure;
    std::array<int, 256> m_widths{};
    std::array<bool, 256> m_known{};
};

bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

// Greedy word wrap of the text into lines no wider than `max_width`, stopping as soon as more
// than `max_lines` lines are known (the rest of the text is never looked at).
class Wrapper {
  public:
    Wrapper(ByteWidths& widths, int max_width, std::size_t max_lines)
        : m_widths(widths), m_max_width(max_width), m_max_lines(max_lines) {}

    std::vector<std::string> wrap(std::string_view text) {
        std::size_t start = 0;
        while (!full()) {
            const std::size_t end = text.find('\n', start);
            std::string_view paragraph =
                text.substr(start, end == std::string_view::npos ? end : end - start);
            if (!paragraph.empty() && paragraph.back() == '\r') {
                paragraph.remove_suffix(1);
            }
            wrap_paragraph(paragraph);
            if (end == std::string_view::npos) {
                break;
            }
            start = end + 1;
        }
        return std::move(m_lines);
    }

  private:
    bool full() const { return m_lines.size() > m_max_lines; }

    void emit() {
        m_lines.push_back(std::move(m_line));
        m_line.clear();
        m_line_width = 0;
        m_pending.clear();
        m_wrapped = true;
    }

    bool line_has_word() const {
        return std::any_of(m_line.begin(), m_line.end(), [](char c) { return !is_blank(c); });
    }

    // Puts `piece` on lines from the current position on, breaking it between characters.
    void break_into_lines(std::string_view piece) {
        while (!piece.empty() && !full()) {
            std::size_t fits = 0;
            int width = m_line_width;
            while (fits < piece.size() && width + m_widths.of(piece[fits]) <= m_max_width) {
                width += m_widths.of(piece[fits]);
                ++fits;
            }
            if (fits == 0 && m_line.empty()) {
                fits = 1;  // a character wider than a line still goes somewhere
                width += m_widths.of(piece[0]);
            }
            m_line.append(piece.substr(0, fits));
            m_line_width = width;
            piece.remove_prefix(fits);
            if (!piece.empty()) {
                emit();
            }
        }
    }

    void wrap_paragraph(std::string_view paragraph) {
        m_wrapped = false;
        std::size_t i = 0;
        while (i < paragraph.size() && !full()) {
            const bool blank = is_blank(paragraph[i]);
            std::size_t j = i;
            while (j < paragraph.size() && is_blank(paragraph[j]) == blank) {
                ++j;
            }
            const std::string_view token = paragraph.substr(i, j - i);
            i = j;
            if (blank) {
                if (line_has_word()) {
                    m_pending = token;  // kept only when the next word joins this line
                } else if (!m_wrapped) {
                    break_into_lines(token);  // the paragraph's own indentation
                }
                continue;
            }
            const int pending_width = m_widths.of(m_pending);
            const int word_width = m_widths.of(token);
            if (line_has_word()) {
                if (m_line_width + pending_width + word_width <= m_max_width) {
                    m_line.append(m_pending).append(token);
                    m_line_width += pending_width + word_width;
                    m_pending.clear();
                    continue;
                }
                emit();
            }
            break_into_lines(token);
            m_pending.clear();
        }
        if (!full()) {
            emit();
        }
    }

    ByteWidths& m_widths;
    int m_max_width;
    std::size_t m_max_lines;
    std::vector<std::string> m_lines;
    std::string m_line;
    int m_line_width = 0;
    std::string m_pending;
    bool m_wrapped = false;
};

// Ends `line` with the ellipsis, dropping characters (and the blanks before the cut) until it
// fits in `max_width`.
void end_with_ellipsis(std::string& line, ByteWidths& widths, int max_width) {
    const int ellipsis = widths.of(kAnsiEllipsis);
    int width = widths.of(line);
    while (!line.empty() && (width + ellipsis > max_width || is_blank(line.back()))) {
        width -= widths.of(line.back());
        line.pop_back();
    }
    line.push_back(kAnsiEllipsis);
}

}  // namespace

MessageBoxLayout LayOutMessageBox(std::string_view text, const MessageBoxShape& shape,
                                  const TextMeasure& measure) {
    ByteWidths widths(measure);
    const int screen_width = std::max(1, shape.screen.width());
    const int screen_height = std::max(1, shape.screen.height());
    const int line_height = std::max(1, shape.line_height);
    const int buttons = std::max(0, shape.button_count);
    const int row_width =
        buttons * kMessageBoxButtonWidth + std::max(0, buttons - 1) * kMessageBoxButtonGap;

    MessageBoxLayout layout;
    layout.text_x =
        kMessageBoxMargin + (shape.has_icon ? kMessageBoxIconSize + kMessageBoxIconGap : 0);
    layout.text_y = kMessageBoxMargin;
    const int max_text_width =
        std::max(1, screen_width * 3 / 4 - layout.text_x - kMessageBoxMargin);
    const int fixed_height = 3 * kMessageBoxMargin + kMessageBoxButtonHeight;
    const auto max_lines =
        static_cast<std::size_t>(std::max(1, (screen_height * 3 / 4 - fixed_height) / line_height));

    std::vector<std::string> lines = Wrapper(widths, max_text_width, max_lines).wrap(text);
    if (lines.empty()) {
        lines.emplace_back();
    }
    if (lines.size() > max_lines) {
        lines.resize(max_lines);
        end_with_ellipsis(lines.back(), widths, max_text_width);
        layout.cut = true;
    }

    int widest = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        widest = std::max(widest, widths.of(lines[i]));
        if (i > 0) {
            layout.text.append("\r\n");
        }
        layout.text.append(lines[i]);
    }
    layout.line_count = static_cast<int>(lines.size());
    layout.text_width = std::min(std::max(widest, kMessageBoxMinTextWidth), max_text_width);
    layout.text_height = layout.line_count * line_height;

    const int block_height = std::max(layout.text_height, shape.has_icon ? kMessageBoxIconSize : 0);
    layout.buttons_y = layout.text_y + block_height + kMessageBoxMargin;
    layout.client_width =
        std::min(screen_width, std::max(layout.text_x + layout.text_width + kMessageBoxMargin,
                                        row_width + 2 * kMessageBoxMargin));
    layout.client_height =
        std::min(screen_height, layout.buttons_y + kMessageBoxButtonHeight + kMessageBoxMargin);
    layout.buttons_x = std::max(0, (layout.client_width - row_width) / 2);
    return layout;
}

}  // namespace platform
