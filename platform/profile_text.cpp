#include "platform/profile_text.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/text.h"

namespace platform {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kNewLine = "\r\n";

std::string_view trim_blanks(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    const std::size_t last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

enum class LineKind { kBlank, kComment, kSection, kEntry, kOther };

// One line of the file as offsets into its text. The content excludes the line end and
// anything from a NUL on.
struct Line {
    std::size_t begin = 0;
    std::size_t content_end = 0;
    std::size_t end = 0;  // past the line end
    LineKind kind = LineKind::kOther;
    std::string_view name;        // section name or key, trimmed
    std::size_t value_begin = 0;  // entries: first byte after '=' and the blanks after it
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Lines end with LF, CR LF or a CR alone; a NUL ends what the line says (the rest up to the
// line end is kept in the file but never read). A UTF-8 byte-order mark opening the file is
// not part of its first line.
std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t line_end = text.find_first_of(kNewLine, pos);
        if (line_end == std::string_view::npos) {
            line.end = line.content_end = text.size();
        } else {
            line.content_end = line_end;
            const bool crlf =
                text[line_end] == '\r' && line_end + 1 < text.size() && text[line_end + 1] == '\n';
            line.end = line_end + (crlf ? 2 : 1);
        }
        const std::size_t nul = text.substr(0, line.content_end).find('\0', line.begin);
        if (nul != std::string_view::npos) {
            line.content_end = nul;
        }
        const std::string_view content = text.substr(line.begin, line.content_end - line.begin);
        const std::size_t first = content.find_first_not_of(kBlanks);
        if (first == std::string_view::npos) {
            line.kind = LineKind::kBlank;
        } else if (content[first] == ';') {
            line.kind = LineKind::kComment;
        } else if (content[first] == '[') {
            line.kind = LineKind::kSection;
            const std::string_view inside = content.substr(first + 1);
            line.name = trim_blanks(inside.substr(0, inside.find(']')));
        } else if (const std::size_t equals = content.find('='); equals != std::string_view::npos) {
            line.kind = LineKind::kEntry;
            line.name = trim_blanks(content.substr(0, equals));
            const std::size_t value = content.find_first_not_of(kBlanks, equals + 1);
            line.value_begin =
                line.begin + (value == std::string_view::npos ? content.size() : value);
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

// Where a key sits in the parsed file.
struct Location {
    std::optional<std::size_t> section;  // index of the header line
    std::optional<std::size_t> entry;    // index of the entry line
    std::size_t last_of_section = 0;     // last entry line of the section, or its header
};

Location find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location where;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != LineKind::kSection || !EqualsIgnoringCase(lines[i].name, section)) {
            continue;
        }
        where.section = i;
        where.last_of_section = i;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != LineKind::kSection; ++j) {
            if (lines[j].kind != LineKind::kEntry) {
                continue;
            }
            where.last_of_section = j;
            if (!where.entry && EqualsIgnoringCase(lines[j].name, key)) {
                where.entry = j;
            }
        }
        break;
    }
    return where;
}

std::string_view value_of(std::string_view text, const Line& line) {
    std::string_view value =
        trim_blanks(text.substr(line.value_begin, line.content_end - line.value_begin));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return value;
}

bool has_any_of(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

constexpr std::string_view kLineBreaksAndNul{"\r\n\0", 3};

bool writable(std::string_view section, std::string_view key, std::string_view value) {
    if (section.empty() || has_any_of(section, kLineBreaksAndNul) || has_any_of(section, "]")) {
        return false;
    }
    if (key.empty() || has_any_of(key, kLineBreaksAndNul) || has_any_of(key, "=") ||
        key.front() == ';' || key.front() == '[') {
        return false;
    }
    return !has_any_of(value, kLineBreaksAndNul);
}

// Makes sure text that does not end with a line end gets one before more lines follow.
// A CR alone already ends a line; what is appended never starts with LF, so it cannot join
// that CR into a CR LF.
void end_last_line(std::string& text) {
    if (text.empty() || text.back() == '\n' || text.back() == '\r') {
        return;
    }
    text += kNewLine;
}

}  // namespace

std::optional<std::string_view> FindProfileValue(std::string_view text, std::string_view section,
                                                 std::string_view key) {
    const std::vector<Line> lines = split_lines(text);
    const Location where = find(lines, trim_blanks(section), trim_blanks(key));
    if (!where.entry) {
        return std::nullopt;
    }
    return value_of(text, lines[*where.entry]);
}

std::optional<std::string> UpdateProfileText(std::string text, std::string_view section,
                                             std::string_view key, std::string_view value) {
    section = trim_blanks(section);
    key = trim_blanks(key);
    if (!writable(section, key, value)) {
        return std::nullopt;
    }
    const std::vector<Line> lines = split_lines(text);
    const Location where = find(lines, section, key);
    std::string entry;
    entry.append(key).append("=").append(value);

    std::string updated;
    if (where.entry) {
        const Line& line = lines[*where.entry];
        updated.append(text, 0, line.value_begin)
            .append(value)
            .append(text, line.content_end, std::string::npos);
    } else if (where.section) {
        const Line& after = lines[where.last_of_section];
        updated.assign(text, 0, after.end);
        end_last_line(updated);
        updated.append(entry).append(kNewLine).append(text, after.end, std::string::npos);
    } else {
        updated = std::move(text);
        end_last_line(updated);
        updated.append("[").append(section).append("]").append(kNewLine);
        updated.append(entry).append(kNewLine);
    }
    return updated;
}

}  // namespace platform
