#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"

#include "platform/text.h"

namespace platform {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::string folder_path(std::string_view folder) {
    return folder.empty() ? std::string(".") : TextToUtf8(folder);
}

// A folder entry: its name on disk and the program's text for it.
struct Entry {
    std::string on_disk;
    std::string text;
};

// Opens a folder for listing. With kNoFollow the last component must not be a link: the clean-up
// never lists a folder that a link named like a leftover points to.
enum class LastComponent { kFollow, kNoFollow };
UniqueFd open_folder(int at, const std::string& name, LastComponent last) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    if (last == LastComponent::kNoFollow) {
        flags |= O_NOFOLLOW;
    }
    return UniqueFd(::openat(at, name.c_str(), flags));
}

// Entries of the folder, in listing order, taken before anything is deleted so that deleting
// does not disturb the listing. A name without program text is left out: nothing here acts on a
// file the program could not name.
std::vector<Entry> list_names(const UniqueFd& folder) {
    std::vector<Entry> names;
    int copy = ::fcntl(folder.get(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) {
        return names;
    }
    DirHandle dir(::fdopendir(copy));
    if (!dir) {
        ::close(copy);
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        if (std::optional<std::string> text = NameFromUtf8(name)) {
            names.push_back({std::string(name), std::move(*text)});
        }
    }
    return names;
}

enum class EntryKind { kPlainFile, kFolder, kOther, kMissing };
EntryKind kind_of(int at, const std::string& name) {
    struct stat st {};
    if (::fstatat(at, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return EntryKind::kMissing;
    }
    if (S_ISREG(st.st_mode)) {
        return EntryKind::kPlainFile;
    }
    if (S_ISDIR(st.st_mode)) {
        return EntryKind::kFolder;
    }
    return EntryKind::kOther;
}

bool is_hidden(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

void delete_plain_files_at(const UniqueFd& folder,
                           const std::function<bool(std::string_view)>& wanted, HiddenFiles hidden,
                           OnFailure on_failure) {
    for (const Entry& entry : list_names(folder)) {
        if (hidden == HiddenFiles::kSkip && is_hidden(entry.text)) {
            continue;
        }
        if (!wanted(entry.text) || kind_of(folder.get(), entry.on_disk) != EntryKind::kPlainFile) {
            continue;
        }
        // unlinkat never follows a link, so an entry swapped for one after the check above only
        // loses the link itself.
        if (::unlinkat(folder.get(), entry.on_disk.c_str(), 0) != 0 &&
            on_failure == OnFailure::kStop) {
            return;
        }
    }
}

}  // namespace

void DeletePlainFiles(std::string_view folder, const std::function<bool(std::string_view)>& wanted,
                      HiddenFiles hidden, OnFailure on_failure) {
    UniqueFd fd = open_folder(AT_FDCWD, folder_path(folder), LastComponent::kNoFollow);
    if (fd.get() < 0) {
        return;
    }
    delete_plain_files_at(fd, wanted, hidden, on_failure);
}

void RemoveLeftoverFolders(std::string_view parent, std::string_view prefix) {
    // The TEMP folder itself may well be reached through a link (it is configuration); the
    // leftovers inside it are not.
    UniqueFd parent_fd = open_folder(AT_FDCWD, folder_path(parent), LastComponent::kFollow);
    if (parent_fd.get() < 0) {
        return;
    }
    for (const Entry& entry : list_names(parent_fd)) {
        const std::string& name = entry.on_disk;
        if (is_hidden(entry.text) || !entry.text.starts_with(prefix)) {
            continue;
        }
        if (kind_of(parent_fd.get(), name) != EntryKind::kFolder) {
            continue;
        }
        {
            UniqueFd leftover = open_folder(parent_fd.get(), name, LastComponent::kNoFollow);
            if (leftover.get() < 0) {
                continue;
            }
            delete_plain_files_at(
                leftover, [](std::string_view) { return true; }, HiddenFiles::kInclude,
                OnFailure::kStop);
        }
        ::unlinkat(parent_fd.get(), name.c_str(), AT_REMOVEDIR);
    }
}

bool RemoveEmptyFolder(std::string_view folder) {
    std::string path = TextToUtf8(folder);
    // "link/" would name the link's target; the folder asked for is the entry itself.
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    if (path.empty()) {
        return false;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return false;
    }
    return ::rmdir(path.c_str()) == 0;
}

bool DeletePlainFile(std::string_view path) {
    if (!IsPlainFile(path)) {
        return false;
    }
    return ::unlink(TextToUtf8(path).c_str()) == 0;
}

bool IsPlainFile(std::string_view path) {
    struct stat st {};
    return ::lstat(TextToUtf8(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void UniqueFd::reset() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

}  // namespace platform
