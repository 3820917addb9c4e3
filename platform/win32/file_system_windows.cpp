// Housekeeping file calls on Windows. "Hidden" there is the hidden or system attribute, and a
// link is any reparse point (symbolic link, junction): neither is listed for deletion nor
// followed.

#include <io.h>

#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {
namespace {

struct Entry {
    std::wstring name;
    DWORD attributes;
};

std::wstring folder_prefix(std::string_view folder) {
    if (folder.empty()) {
        return L"";
    }
    std::wstring wide = AsWide(TextToUtf16(folder));
    if (wide.back() != L'\\' && wide.back() != L'/' && wide.back() != L':') {
        wide += L'\\';
    }
    return wide;
}

// Entries of the folder, in listing order, taken before anything is deleted so that deleting
// does not disturb the listing.
std::vector<Entry> list_entries(const std::wstring& prefix) {
    std::vector<Entry> entries;
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((prefix + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return entries;
    }
    do {
        std::wstring_view name = found.cFileName;
        if (name != L"." && name != L"..") {
            entries.push_back({std::wstring(name), found.dwFileAttributes});
        }
    } while (::FindNextFileW(search, &found) != 0);
    ::FindClose(search);
    return entries;
}

bool is_hidden(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) != 0;
}

bool is_link(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool is_plain_file(DWORD attributes) {
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0 &&
           !is_link(attributes);
}

bool is_folder(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !is_link(attributes);
}

void delete_plain_files_in(const std::wstring& prefix,
                           const std::function<bool(std::string_view)>& wanted, HiddenFiles hidden,
                           OnFailure on_failure) {
    for (const Entry& entry : list_entries(prefix)) {
        if (hidden == HiddenFiles::kSkip && is_hidden(entry.attributes)) {
            continue;
        }
        if (!is_plain_file(entry.attributes) || !wanted(TextFromUtf16(AsUtf16(entry.name)))) {
            continue;
        }
        if (::DeleteFileW((prefix + entry.name).c_str()) == 0 && on_failure == OnFailure::kStop) {
            return;
        }
    }
}

bool folder_is_link(std::string_view folder) {
    if (folder.empty()) {
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(AsWide(TextToUtf16(folder)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && is_link(attributes);
}

}  // namespace

void DeletePlainFiles(std::string_view folder, const std::function<bool(std::string_view)>& wanted,
                      HiddenFiles hidden, OnFailure on_failure) {
    if (folder_is_link(folder)) {
        return;
    }
    delete_plain_files_in(folder_prefix(folder), wanted, hidden, on_failure);
}

void RemoveLeftoverFolders(std::string_view parent, std::string_view prefix) {
    // The TEMP folder itself may well be reached through a link (it is configuration); the
    // leftovers inside it are not.
    const std::wstring parent_prefix = folder_prefix(parent);
    for (const Entry& entry : list_entries(parent_prefix)) {
        if (is_hidden(entry.attributes) || !is_folder(entry.attributes) ||
            !TextFromUtf16(AsUtf16(entry.name)).starts_with(prefix)) {
            continue;
        }
        const std::wstring path = parent_prefix + entry.name;
        delete_plain_files_in(
            path + L"\\", [](std::string_view) { return true; }, HiddenFiles::kInclude,
            OnFailure::kStop);
        ::RemoveDirectoryW(path.c_str());
    }
}

bool RemoveEmptyFolder(std::string_view folder) {
    std::wstring path = AsWide(TextToUtf16(folder));
    // "name\" would name the link's target; the folder asked for is the entry itself.
    while (path.size() > 1 && (path.back() == L'\\' || path.back() == L'/') &&
           path[path.size() - 2] != L':') {
        path.pop_back();
    }
    if (path.empty()) {
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !is_folder(attributes)) {
        return false;
    }
    return ::RemoveDirectoryW(path.c_str()) != 0;
}

bool DeletePlainFile(std::string_view path) {
    if (!IsPlainFile(path)) {
        return false;
    }
    return ::DeleteFileW(AsWide(TextToUtf16(path)).c_str()) != 0;
}

bool IsPlainFile(std::string_view path) {
    DWORD attributes = ::GetFileAttributesW(AsWide(TextToUtf16(path)).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && is_plain_file(attributes);
}

void UniqueFd::reset() {
    if (m_fd >= 0) {
        ::_close(m_fd);
        m_fd = -1;
    }
}

}  // namespace platform
