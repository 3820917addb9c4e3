#pragma once
// Private to the POSIX system backend: what an open file that is no regular file is, in the style
// of the system's error texts ("Is a directory", "Is a FIFO", ...), for the file calls that take
// only regular files (file_read_posix.cpp, append_file_posix.cpp). Cannot fail.

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/system_error.h"

namespace platform::detail {

inline std::string KindOfSpecialFile(mode_t mode) {
    if (S_ISDIR(mode)) {
        return SystemErrorText(EISDIR);
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

}  // namespace platform::detail
