#pragma once
// The system's own text for a Windows error code (Windows side only).
//
// SystemErrorText(code): what FormatMessageW says for `code`, in the program's code page
// (characters the code page lacks become '?'), without the trailing line break. When the system
// has no text for the code, "error <code>". Never fails.

#include <cstdint>
#include <string>

namespace platform {

std::string SystemErrorText(std::uint32_t code);

}  // namespace platform
