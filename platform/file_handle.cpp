// The parts of FileHandle that are the same on every system; the system's close is in
// file_handle_<system>.cpp.

#include "platform/file_handle.h"

#include <utility>

namespace platform {

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kNoHandle)), m_size(std::exchange(other.m_size, 0)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kNoHandle);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

FileHandle::~FileHandle() {
    close();
}

void FileHandle::close() noexcept {
    if (m_handle != kNoHandle) {
        close_handle(std::exchange(m_handle, kNoHandle));
    }
}

}  // namespace platform
