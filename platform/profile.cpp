#include "platform/profile.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_read.h"
#include "platform/paths.h"

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

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

enum class LineKind { kBlank, kComment, kSection, kEntry, kOther };

// One line of the file as offsets into its text. The content excludes the line end ("\r\n",
// "\n", or a lone "\r" closing the file).
struct Line {
    std::size_t begin = 0;
    std::size_t content_end = 0;
    std::size_t end = 0;  // past the line end
    LineKind kind = LineKind::kOther;
    std::string_view name;        // section name or key, trimmed
    std::size_t value_begin = 0;  // entries: first byte after '=' and the blanks after it
};

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        Line line;
        line.begin = pos;
        const std::size_t newline = text.find('\n', pos);
        line.end = newline == std::string_view::npos ? text.size() : newline + 1;
        line.content_end = newline == std::string_view::npos ? text.size() : newline;
        if (line.content_end > line.begin && text[line.content_end - 1] == '\r') {
            --line.content_end;
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
        if (lines[i].kind != LineKind::kSection || !equal_ignoring_case(lines[i].name, section)) {
            continue;
        }
        where.section = i;
        where.last_of_section = i;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != LineKind::kSection; ++j) {
            if (lines[j].kind != LineKind::kEntry) {
                continue;
            }
            where.last_of_section = j;
            if (!where.entry && equal_ignoring_case(lines[j].name, key)) {
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

// The whole file, or nothing when it is missing (or is no regular file). `complete` tells
// whether everything the file held could be read.
struct FileText {
    bool found = false;
    bool complete = false;
    std::string text;
};

FileText read_file(std::string_view path) {
    FileText result;
    ReadOnlyFileResult opened = ReadOnlyFile::open(NativePath(path));
    if (!opened.file) {
        result.complete = opened.failure == OpenFailure::kNotFound;
        return result;
    }
    result.found = true;
    result.text = opened.file->read_from_start(opened.file->size());
    result.complete = result.text.size() == opened.file->size();
    return result;
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
void end_last_line(std::string& text) {
    if (text.empty() || text.back() == '\n') {
        return;
    }
    text += text.back() == '\r' ? "\n" : "\r\n";
}

std::mutex& write_mutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

int GetPrivateProfileString(std::string_view section, std::string_view key,
                            std::string_view default_value, char* buffer, int buffer_size,
                            std::string_view file_path) {
    if (buffer == nullptr || buffer_size < 1) {
        return 0;
    }
    const FileText file = read_file(file_path);
    std::string_view result = default_value;
    if (file.found) {
        const std::vector<Line> lines = split_lines(file.text);
        const Location where = find(lines, trim_blanks(section), trim_blanks(key));
        if (where.entry) {
            result = value_of(file.text, lines[*where.entry]);
        }
    }
    const std::size_t count = std::min(result.size(), static_cast<std::size_t>(buffer_size) - 1);
    result.copy(buffer, count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, std::string_view file_path) {
    section = trim_blanks(section);
    key = trim_blanks(key);
    if (!writable(section, key, value)) {
        return false;
    }
    const std::lock_guard<std::mutex> lock(write_mutex());
    FileText file = read_file(file_path);
    if (!file.complete) {
        return false;  // writing back what little could be read would destroy the rest
    }
    const std::vector<Line> lines = split_lines(file.text);
    const Location where = find(lines, section, key);
    std::string entry;
    entry.append(key).append("=").append(value);

    std::string updated;
    if (where.entry) {
        const Line& line = lines[*where.entry];
        updated.append(file.text, 0, line.value_begin)
            .append(value)
            .append(file.text, line.content_end, std::string::npos);
    } else if (where.section) {
        const Line& after = lines[where.last_of_section];
        updated.assign(file.text, 0, after.end);
        end_last_line(updated);
        updated.append(entry).append(kNewLine).append(file.text, after.end, std::string::npos);
    } else {
        updated = std::move(file.text);
        end_last_line(updated);
        updated.append("[").append(section).append("]").append(kNewLine);
        updated.append(entry).append(kNewLine);
    }
    return ReplaceFileContents(file_path, updated);
}

}  // namespace platform
