#pragma once
// Private to the Windows system backend, for the file calls that take only files on a disk
// (file_read_windows.cpp, append_file_windows.cpp), in the style of the system's error texts:
//  - KindOfSpecialFile(type): what an open handle of that GetFileType type is: "Is a character
//    device", "Is a pipe", otherwise "Is not a regular file".
//  - IsFolder(path): true when `path` names a folder, which the system refuses to open as a file
//    with the same code as a file one may not open ("access denied").
// Neither fails.

#include <cstdint>
#include <string>

namespace platform::detail {

std::string KindOfSpecialFile(std::uint32_t type);
bool IsFolder(const std::wstring& path);

}  // namespace platform::detail
