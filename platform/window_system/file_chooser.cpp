#include "platform/file_chooser.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/display.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace platform {
namespace {

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

}  // namespace platform
