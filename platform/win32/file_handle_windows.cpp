#include "platform/file_handle.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {

void FileHandle::close_handle(std::intptr_t handle) noexcept {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace platform
