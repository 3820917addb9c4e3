#include "platform/win32/special_file.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform::detail {

std::string KindOfSpecialFile(std::uint32_t type) {
    switch (type) {
        case FILE_TYPE_CHAR:
            return "Is a character device";
        case FILE_TYPE_PIPE:
            return "Is a pipe";
        default:
            return "Is not a regular file";
    }
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace platform::detail
