#include "platform/file_chooser.h"

#include <array>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/display.h"
#include "platform/paths.h"

namespace platform {
namespace {

// Windows-1252 code points for 0x80..0x9F; the rest of the page equals Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the UTF-8 sequence a lead byte announces, 0 for a byte that cannot lead one.
int sequence_length(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// The text up to the first NUL.
std::u16string_view until_nul(const std::u16string& text) {
    std::u16string_view view(text);
    return view.substr(0, view.find(u'\0'));
}

// "desc\0mask\0desc\0mask\0\0" into pairs.
std::vector<std::pair<std::string, std::string>> split_filter(const std::u16string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start < filter.size()) {
        std::size_t end = filter.find(u'\0', start);
        if (end == std::u16string::npos) {
            end = filter.size();
        }
        if (end == start) {
            break;
        }
        parts.push_back(Utf16ToUtf8(std::u16string_view(filter).substr(start, end - start)));
        start = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        pairs.emplace_back(parts[i], parts[i + 1]);
    }
    return pairs;
}

// Restores the current directory when it goes out of scope.
class CurrentDirectoryKeeper {
  public:
    CurrentDirectoryKeeper() {
        std::error_code ec;
        m_path = std::filesystem::current_path(ec);
        m_valid = !ec;
    }
    ~CurrentDirectoryKeeper() {
        if (m_valid) {
            std::error_code ec;
            std::filesystem::current_path(m_path, ec);
        }
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

  private:
    std::filesystem::path m_path;
    bool m_valid = false;
};

bool folder_exists(const std::string& path) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() || std::filesystem::is_directory(folder, ec);
}

bool run_chooser(OPENFILENAME* ofn, FileChooserRequest::Kind kind) {
    if (ofn == nullptr) {
        return false;
    }
    FileChooserRequest request;
    request.kind = kind;
    request.owner = ofn->owner;
    request.title = Utf16ToUtf8(until_nul(ofn->title));
    request.filters = split_filter(ofn->filter);
    request.filter_index = ofn->filter_index > 0 ? ofn->filter_index : 1;
    request.initial_dir = NativePath(Utf16ToUtf8(until_nul(ofn->initial_dir)));
    request.initial_file = Utf16ToUtf8(until_nul(ofn->file));
    request.flags = ofn->flags;

    std::optional<std::vector<std::string>> chosen;
    if ((ofn->flags & OFN_NOCHANGEDIR) != 0) {
        CurrentDirectoryKeeper keeper;
        chosen = CurrentDisplay().choose_files(request);
    } else {
        chosen = CurrentDisplay().choose_files(request);
    }
    ofn->file.clear();
    if (!chosen || chosen->empty()) {
        return false;
    }
    std::u16string answer;
    bool multiple = (ofn->flags & OFN_ALLOWMULTISELECT) != 0 && chosen->size() > 1;
    if ((ofn->flags & OFN_PATHMUSTEXIST) != 0) {
        for (const auto& path : *chosen) {
            if (!folder_exists(path)) {
                return false;
            }
        }
    }
    if (multiple) {
        std::filesystem::path folder = std::filesystem::path(chosen->front()).parent_path();
        answer = Utf8ToUtf16(folder.string());
        answer.push_back(u'\0');
        for (const auto& path : *chosen) {
            answer += Utf8ToUtf16(std::filesystem::path(path).filename().string());
            answer.push_back(u'\0');
        }
    } else {
        answer = Utf8ToUtf16(chosen->front());
        answer.push_back(u'\0');
    }
    if (answer.size() + 1 > ofn->max_file) {
        return false;  // does not fit the caller's buffer
    }
    ofn->file = std::move(answer);
    return true;
}

}  // namespace

bool GetOpenFileName(OPENFILENAME* ofn) {
    return run_chooser(ofn, FileChooserRequest::Kind::Open);
}

bool GetSaveFileName(OPENFILENAME* ofn) {
    return run_chooser(ofn, FileChooserRequest::Kind::Save);
}

bool IsValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        int n = sequence_length(static_cast<unsigned char>(text[i]));
        if (n == 0 || i + static_cast<std::size_t>(n) > text.size()) {
            return false;
        }
        for (int k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]) & 0xC0) !=
                0x80) {
                return false;
            }
        }
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto lead = static_cast<unsigned char>(text[i]);
        int n = sequence_length(lead);
        bool valid = n > 0 && i + static_cast<std::size_t>(n) <= text.size();
        char32_t cp = 0;
        if (valid) {
            cp = n == 1 ? lead : lead & (0x7F >> n);
            for (int k = 1; k < n && valid; ++k) {
                auto c = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
                valid = (c & 0xC0) == 0x80;
                cp = (cp << 6) | (c & 0x3F);
            }
        }
        if (!valid) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += static_cast<std::size_t>(n);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string AnsiToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        out.push_back(b >= 0x80 && b <= 0x9F ? kCp1252High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

}  // namespace platform
