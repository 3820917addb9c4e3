#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/append_file.h"
#include "platform/paths.h"
#include "platform/posix/special_file.h"
#include "platform/system_error.h"
#include "platform/text.h"

namespace platform {

AppendFileResult AppendFile::open(std::string_view path) {
    const std::string native = TextToUtf8(NativePath(path));
    if (native.empty()) {
        return {std::nullopt, SystemErrorText(ENOENT)};
    }
    // O_NONBLOCK keeps a FIFO without a reader from blocking the open; for a regular file it
    // changes nothing.
    int fd;
    do {
        fd = ::open(native.c_str(),
                    O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        return {std::nullopt, SystemErrorText(errno)};
    }
    AppendFile file(fd, 0);  // owns the descriptor from here on, whatever happens
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        return {std::nullopt, SystemErrorText(errno)};
    }
    if (!S_ISREG(info.st_mode)) {
        return {std::nullopt, detail::KindOfSpecialFile(info.st_mode)};
    }
    file.m_size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    return {std::move(file), {}};
}

std::optional<std::size_t> AppendFile::write_once(std::intptr_t handle, std::string_view data,
                                                  std::string* error) {
    while (true) {
        const ssize_t done = ::write(static_cast<int>(handle), data.data(), data.size());
        if (done > 0) {
            return static_cast<std::size_t>(done);
        }
        if (done < 0 && errno == EINTR) {
            continue;
        }
        *error = SystemErrorText(done < 0 ? errno : ENOSPC);
        return std::nullopt;
    }
}

std::string RenameReplacing(std::string_view from, std::string_view to) {
    if (::rename(TextToUtf8(NativePath(from)).c_str(), TextToUtf8(NativePath(to)).c_str()) != 0) {
        return SystemErrorText(errno);
    }
    return {};
}

}  // namespace platform
