#pragma once
// File path spelling.
//
// The program spells its file paths the way its original desktop platform does, with
// backslashes between folders (".\\KADRO.INI" is KADRO.INI in the current directory).
// NativePath turns such a path into the spelling the host file system expects.
//
// Contract:
//  - POSIX: every '\\' becomes '/'; nothing else changes (no case folding, no resolution of
//    "." or "..", no check that the path exists). ".\\KADRO.INI" -> "./KADRO.INI".
//  - Other platforms: the path is returned unchanged.
//  - Only for file paths. Serial device names are resolved by the serial layer, not here.
//  - Never fails; an empty path stays empty.

#include <string>
#include <string_view>

namespace platform {

std::string NativePath(std::string_view path);

}  // namespace platform
