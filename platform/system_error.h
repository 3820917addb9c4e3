#pragma once
// The system's own text for one of its error numbers: errno on POSIX, the code GetLastError
// gives on Windows.
//
// SystemErrorText(code): what the system says for `code` (strerror's text on POSIX,
// FormatMessageW's on Windows, in the program's code page there: characters the code page lacks
// become '?'), without a trailing line break. When the system has no text for the code,
// "error <code>" on Windows and the C library's "Unknown error <code>" on POSIX. Safe from any
// thread; never fails.

#include <cstdint>
#include <string>

namespace platform {

std::string SystemErrorText(std::uint32_t code);

}  // namespace platform
