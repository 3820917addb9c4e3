#pragma once
// Plain-file deletion and folder clean-up for the housekeeping, and an owned file descriptor.
//
// Folder arguments are native paths; "" means the current folder. Paths and the names offered to
// `wanted` are the program's text, converted to and from the file system's names as
// platform/text.h says; an entry whose name has no program text is never offered nor deleted.
// Nothing here follows a symbolic link found in a folder being cleaned, nor deletes anything but
// plain files and empty folders. No function raises or reports; each returns what it managed.

#include <functional>
#include <string>
#include <string_view>

namespace platform {

enum class HiddenFiles { kSkip, kInclude };
enum class OnFailure { kContinue, kStop };

// Deletes the plain files of `folder` whose names satisfy `wanted`, in listing order. Hidden
// names (beginning with '.') are left alone under HiddenFiles::kSkip. On a failed deletion,
// kContinue goes on with the next file and kStop ends the run. A folder that cannot be opened,
// or that is itself a symbolic link, deletes nothing.
void DeletePlainFiles(std::string_view folder, const std::function<bool(std::string_view)>& wanted,
                      HiddenFiles hidden, OnFailure on_failure);

// For every folder entry of `parent` (not hidden, not a link) whose name begins with `prefix`:
// deletes its plain files as DELDIR does, then removes it if that left it empty.
void RemoveLeftoverFolders(std::string_view parent, std::string_view prefix);

// Removes an empty folder (never a link to one); true on success.
bool RemoveEmptyFolder(std::string_view folder);

// Deletes one plain file by path; a link, folder or special file is left alone. True on success.
bool DeletePlainFile(std::string_view path);

// True when `path` names a plain file (a link to one does not count).
bool IsPlainFile(std::string_view path);

// An open file descriptor that closes itself; -1 when none.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset();

  private:
    int m_fd = -1;
};

}  // namespace platform
