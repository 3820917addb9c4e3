#include "platform/file_read.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/paths.h"
#include "platform/posix/special_file.h"
#include "platform/system_error.h"
#include "platform/temporary_file_internal.h"
#include "platform/text.h"

namespace platform {

namespace {

OpenFailure failure_from_errno(int error) {
    switch (error) {
        case ENOENT:
        case ENOTDIR:
            return OpenFailure::kNotFound;
        case EACCES:
        case EPERM:
            return OpenFailure::kAccessDenied;
        case EISDIR:
        case ENXIO:  // FIFO opened without a partner, or a device that is not there
            return OpenFailure::kNotRegularFile;
        default:
            return OpenFailure::kOther;
    }
}

}  // namespace

ReadOnlyFileResult ReadOnlyFile::open(std::string_view path) {
    const std::string native = TextToUtf8(path);
    // O_NONBLOCK keeps a FIFO without a writer from blocking the open; for a regular file it
    // changes nothing.
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        return {std::nullopt, failure_from_errno(error), SystemErrorText(error)};
    }
    ReadOnlyFile file(fd, 0);  // owns the descriptor from here on, whatever happens
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return {std::nullopt, OpenFailure::kOther, SystemErrorText(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return {std::nullopt, OpenFailure::kNotRegularFile,
                detail::KindOfSpecialFile(info.st_mode)};
    }
    file.m_size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return {std::move(file), OpenFailure::kNone, {}};
}

std::optional<std::size_t> ReadOnlyFile::read_once_at(std::intptr_t handle, char* buffer,
                                                      std::size_t size, std::uint64_t offset,
                                                      std::string* error) {
    while (true) {
        const ssize_t got =
            ::pread(static_cast<int>(handle), buffer, size, static_cast<off_t>(offset));
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            *error = SystemErrorText(errno);
            return std::nullopt;
        }
    }
}

}  // namespace platform

namespace platform {

namespace {

// The calls that a replacement's temporary file (temporary_file.h) makes here.
struct PosixFiles {
    using Handle = int;
    using Path = std::string;
    static constexpr char kMark = '.';
    static constexpr std::string_view kSeparators = "/";

    static int no_handle() { return -1; }
    static bool close(int fd) { return ::close(fd) == 0; }
    static void remove(const std::string& path) { ::unlink(path.c_str()); }
    static std::uint32_t process_id() { return static_cast<std::uint32_t>(::getpid()); }

    // A file whose writer still runs is left alone: it may be renamed into place any moment.
    // Only plain files are touched.
    static void remove_leftovers(const std::string& folder, const std::string& name) {
        const int dir_fd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir_fd < 0) {
            return;
        }
        DIR* dir = ::fdopendir(dir_fd);
        if (dir == nullptr) {
            ::close(dir_fd);
            return;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const auto writer = static_cast<pid_t>(detail::TemporaryFileWriter(
                std::string_view(entry->d_name), kMark, std::string_view(name)));
            if (writer <= 0 || writer == ::getpid() || ::kill(writer, 0) == 0 || errno != ESRCH) {
                continue;
            }
            struct stat info {};
            if (::fstatat(dir_fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(info.st_mode)) {
                ::unlinkat(dir_fd, entry->d_name, 0);
            }
        }
        ::closedir(dir);
    }

    static int create_new(const std::string& path, bool* taken) {
        // Mode 0666 lets the process umask decide, as for any new file.
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        *taken = fd < 0 && (errno == EEXIST || errno == EINTR);
        return fd;
    }
};
using TemporaryFile = detail::TemporaryFile<PosixFiles>;

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t done = ::write(fd, data.data(), data.size());
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(done));
    }
    return true;
}

void sync_folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        // Makes the rename itself durable; the file is already complete either way.
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool ReplaceFileContents(std::string_view path, std::string_view contents) {
    std::string target = TextToUtf8(NativePath(path));
    if (target.empty()) {
        return false;
    }
    struct stat link_info {};
    if (::lstat(target.c_str(), &link_info) == 0 && S_ISLNK(link_info.st_mode)) {
        char* resolved = ::realpath(target.c_str(), nullptr);
        if (resolved == nullptr) {
            return false;  // a dangling link: do not replace the link with a plain file
        }
        target = resolved;
        std::free(resolved);
    }
    struct stat info {};
    bool exists = false;
    if (::stat(target.c_str(), &info) == 0) {
        // The rename below needs only the folder's permission; a file made read-only (no
        // write bit at all, which even root respects here) or not writable by this user must
        // refuse the write all the same.
        if (!S_ISREG(info.st_mode) || (info.st_mode & 0222) == 0 ||
            ::access(target.c_str(), W_OK) != 0) {
            return false;
        }
        exists = true;
    } else if (errno != ENOENT) {
        return false;
    }

    std::optional<TemporaryFile> temporary = detail::CreateTemporaryNextTo<PosixFiles>(target);
    if (!temporary) {
        return false;
    }
    if (exists) {
        if (::fchmod(temporary->handle(), info.st_mode & 07777) != 0) {
            return false;
        }
        // Only succeeds for a privileged process or an unchanged owner; otherwise the file
        // simply belongs to whoever rewrote it, as with any editor.
        if (::fchown(temporary->handle(), info.st_uid, info.st_gid) != 0) {
        }
    }
    if (!write_all(temporary->handle(), contents) || ::fsync(temporary->handle()) != 0 ||
        !temporary->close()) {
        return false;
    }
    if (::rename(temporary->path().c_str(), target.c_str()) != 0) {
        return false;
    }
    temporary->keep();
    sync_folder_of(target);
    return true;
}

}  // namespace platform
