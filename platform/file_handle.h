#pragma once
// What AppendFile (platform/append_file.h) and ReadOnlyFile (platform/file_read.h) hold: the
// system's handle of a file they opened, and its size.
//
// Contract:
//  - A FileHandle owns the handle (a descriptor on POSIX, a HANDLE on Windows, kept as an
//    integer; kNoHandle when it holds none) and closes it when destroyed, without retrying and
//    without a word: there is no one left to tell.
//  - It can be moved, not copied; moving closes what the target held, and the source is left
//    holding no handle and size 0.
//  - size() is what its owner keeps there (m_size), 0 for one that holds nothing.
// Nothing here fails or raises.

#include <cstdint>

namespace platform {

class FileHandle {
  public:
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle();

    std::uint64_t size() const { return m_size; }

  protected:
    static constexpr std::intptr_t kNoHandle = -1;

    FileHandle(std::intptr_t handle, std::uint64_t size) : m_handle(handle), m_size(size) {}
    // Closes the handle held, if any; the file then holds none.
    void close() noexcept;

    std::intptr_t m_handle = kNoHandle;
    std::uint64_t m_size = 0;

  private:
    // The system's close, the part each system does its own way (file_handle_<system>.cpp).
    static void close_handle(std::intptr_t handle) noexcept;
};

}  // namespace platform
