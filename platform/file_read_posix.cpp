#include "platform/file_read.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/file_name_text.h"
#include "platform/paths.h"

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

ReadOnlyFileResult failed(OpenFailure failure, std::string reason) {
    return {std::nullopt, failure, std::move(reason)};
}

// What an open file that is no regular file is, in the style of the system's error texts.
std::string kind_of_special_file(mode_t mode) {
    if (S_ISDIR(mode)) {
        return std::strerror(EISDIR);
    }
    if (S_ISFIFO(mode)) {
        return "Is a FIFO";
    }
    if (S_ISCHR(mode)) {
        return "Is a character device";
    }
    if (S_ISBLK(mode)) {
        return "Is a block device";
    }
    if (S_ISSOCK(mode)) {
        return "Is a socket";
    }
    return "Is not a regular file";
}

}  // namespace

ReadOnlyFileResult ReadOnlyFile::open(std::string_view path) {
    const std::string native = FileNameToUtf8(path);
    // O_NONBLOCK keeps a FIFO without a writer from blocking the open; for a regular file it
    // changes nothing.
    int fd;
    do {
        fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        return failed(failure_from_errno(error), std::strerror(error));
    }
    ReadOnlyFile file(fd, 0);  // owns the descriptor from here on, whatever happens
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return failed(OpenFailure::kOther, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        return failed(OpenFailure::kNotRegularFile, kind_of_special_file(info.st_mode));
    }
    file.m_size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return {std::move(file), OpenFailure::kNone, {}};
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kNoHandle)), m_size(std::exchange(other.m_size, 0)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kNoHandle);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

void ReadOnlyFile::close() noexcept {
    if (m_handle != kNoHandle) {
        // No retry on EINTR: on Linux the descriptor is gone either way.
        ::close(static_cast<int>(m_handle));
        m_handle = kNoHandle;
    }
}

std::optional<unsigned char> ReadOnlyFile::read_byte_at(std::uint64_t offset) const {
    FileReadResult read = read_at(offset, 1);
    if (read.data.size() != 1) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(read.data.front());
}

std::string ReadOnlyFile::read_from_start(std::uint64_t count) const {
    return read_at(0, count).data;
}

FileReadResult ReadOnlyFile::read_at(std::uint64_t offset, std::uint64_t count) const {
    FileReadResult result;
    if (m_handle == kNoHandle || offset >= m_size) {
        return result;
    }
    count = std::min(count, m_size - offset);
    if (count > result.data.max_size()) {
        throw std::bad_alloc();
    }
    result.data.resize(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < result.data.size()) {
        const ssize_t got = ::pread(static_cast<int>(m_handle), result.data.data() + done,
                                    result.data.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            result.error = std::strerror(errno);
            break;
        }
        if (got == 0) {
            break;  // the file has shrunk since it was opened
        }
        done += static_cast<std::size_t>(got);
    }
    result.data.resize(done);
    return result;
}

}  // namespace platform

namespace platform {

namespace {

// The temporary file of a replacement: closed always, removed unless it has been renamed into
// place.
class TemporaryFile {
  public:
    TemporaryFile(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        close();
        if (!m_kept) {
            ::unlink(m_path.c_str());
        }
    }

    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }
    bool close() {
        if (m_fd < 0) {
            return true;
        }
        const int fd = std::exchange(m_fd, -1);
        return ::close(fd) == 0;
    }
    void keep() { m_kept = true; }

  private:
    int m_fd;
    std::string m_path;
    bool m_kept = false;
};

// A temporary file of a replacement is named ".<name>.<process id>.<counter>.tmp" beside the
// file it replaces.
std::string temporary_prefix(std::string_view name) {
    std::string prefix(1, '.');
    prefix.append(name).push_back('.');
    return prefix;
}
constexpr std::string_view kTemporarySuffix = ".tmp";

// The process id in a temporary file name made for `name`, or 0 when the name is not one.
pid_t writer_of(std::string_view entry, std::string_view name) {
    const std::string prefix = temporary_prefix(name);
    if (!entry.starts_with(prefix) || !entry.ends_with(kTemporarySuffix)) {
        return 0;
    }
    entry.remove_prefix(prefix.size());
    entry.remove_suffix(kTemporarySuffix.size());
    const std::size_t dot = entry.find('.');
    const auto all_digits = [](std::string_view digits) {
        return !digits.empty() && digits.size() <= 9 &&
               digits.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (dot == std::string_view::npos || !all_digits(entry.substr(0, dot)) ||
        !all_digits(entry.substr(dot + 1))) {
        return 0;
    }
    return static_cast<pid_t>(std::stoi(std::string(entry.substr(0, dot))));
}

// Removes the temporary files that replacements of `name` in `folder` left when their process
// died before the rename. A file whose writer still runs is left alone: it may be renamed into
// place any moment. Only plain files of exactly our naming pattern are touched.
void remove_leftover_temporaries(const std::string& folder, const std::string& name) {
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
        const pid_t writer = writer_of(entry->d_name, name);
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

std::optional<TemporaryFile> create_temporary_next_to(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = target.substr(slash == std::string::npos ? 0 : slash + 1);
    remove_leftover_temporaries(folder, name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = folder + temporary_prefix(name) + std::to_string(::getpid()) +
                                 "." + std::to_string(counter.fetch_add(1)) +
                                 std::string(kTemporarySuffix);
        // Mode 0666 lets the process umask decide, as for any new file.
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd >= 0) {
            return std::optional<TemporaryFile>(std::in_place, fd, path);
        }
        if (errno != EEXIST && errno != EINTR) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

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
    std::string target = FileNameToUtf8(NativePath(path));
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

    std::optional<TemporaryFile> temporary = create_temporary_next_to(target);
    if (!temporary) {
        return false;
    }
    if (exists) {
        if (::fchmod(temporary->fd(), info.st_mode & 07777) != 0) {
            return false;
        }
        // Only succeeds for a privileged process or an unchanged owner; otherwise the file
        // simply belongs to whoever rewrote it, as with any editor.
        if (::fchown(temporary->fd(), info.st_uid, info.st_gid) != 0) {
        }
    }
    if (!write_all(temporary->fd(), contents) || ::fsync(temporary->fd()) != 0 ||
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
