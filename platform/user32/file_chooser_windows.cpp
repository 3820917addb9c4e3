// The common file chooser over the system's own (GetOpenFileNameW / GetSaveFileNameW).

#include "platform/file_chooser.h"

#include <algorithm>
#include <string>
#include <vector>

#include <windows.h>

#include <commdlg.h>

#undef GetOpenFileName
#undef GetSaveFileName
#undef OPENFILENAME

namespace platform {
namespace {

std::wstring to_wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}

// The chosen path (or, for a multiple selection, the folder and the names each followed by a
// NUL): the buffer up to its first empty part.
std::u16string answer_of(const std::vector<wchar_t>& buffer, bool multiple) {
    std::size_t end = 0;
    while (end < buffer.size() && buffer[end] != L'\0') {
        ++end;
    }
    if (multiple) {
        while (end + 1 < buffer.size() && buffer[end + 1] != L'\0') {
            ++end;
            while (end < buffer.size() && buffer[end] != L'\0') {
                ++end;
            }
        }
    }
    return std::u16string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(end));
}

// Puts the current directory back when the caller asked for it: the system's own
// OFN_NOCHANGEDIR does not do it for the open chooser.
class CurrentDirectoryKeeper {
  public:
    explicit CurrentDirectoryKeeper(bool keep) {
        if (!keep) {
            return;
        }
        const DWORD length = GetCurrentDirectoryW(0, nullptr);
        m_saved.resize(length);
        if (length == 0 || GetCurrentDirectoryW(length, m_saved.data()) == 0) {
            m_saved.clear();
        }
    }
    ~CurrentDirectoryKeeper() {
        if (!m_saved.empty()) {
            SetCurrentDirectoryW(m_saved.data());
        }
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

  private:
    std::vector<wchar_t> m_saved;
};

bool choose(OPENFILENAME* ofn, bool save) {
    if (ofn == nullptr) {
        return false;
    }
    const bool multiple = !save && (ofn->flags & OFN_ALLOWMULTISELECT) != 0;
    const std::size_t capacity = std::max<std::size_t>(ofn->max_file, 1);
    std::vector<wchar_t> file(capacity + 1, L'\0');
    std::copy_n(ofn->file.begin(), std::min(ofn->file.size(), capacity - 1), file.begin());
    const std::wstring filter = to_wide(ofn->filter);
    const std::wstring initial_dir = to_wide(ofn->initial_dir);
    const std::wstring title = to_wide(ofn->title);

    OPENFILENAMEW record{};
    // The original record's size, without the fields later systems added.
    record.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    record.hwndOwner = reinterpret_cast<::HWND>(ofn->owner);
    record.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    record.nFilterIndex = static_cast<DWORD>(ofn->filter_index);
    record.lpstrFile = file.data();
    record.nMaxFile = static_cast<DWORD>(capacity);
    record.lpstrInitialDir = initial_dir.empty() ? nullptr : initial_dir.c_str();
    record.lpstrTitle = title.empty() ? nullptr : title.c_str();
    // A multiple selection comes back NUL-separated only from the explorer-style chooser.
    record.Flags = ofn->flags | (multiple ? OFN_EXPLORER : 0);

    bool chosen = false;
    {
        CurrentDirectoryKeeper keeper((ofn->flags & OFN_NOCHANGEDIR) != 0);
        chosen = (save ? GetSaveFileNameW(&record) : GetOpenFileNameW(&record)) != 0;
    }
    ofn->file = chosen ? answer_of(file, multiple) : std::u16string();
    if (chosen) {
        ofn->filter_index = static_cast<int>(record.nFilterIndex);
    }
    return chosen;
}

}  // namespace

bool GetOpenFileName(OPENFILENAME* ofn) {
    return choose(ofn, false);
}

bool GetSaveFileName(OPENFILENAME* ofn) {
    return choose(ofn, true);
}

}  // namespace platform
