#include <cstring>
#include <string>

#include "platform/serial_settings.h"

// After our headers: <windows.h> defines NOPARITY, ONESTOPBIT and the like as macros.
#include <windows.h>

namespace platform {

// The system parses the string, changing only the fields it names (and flow control when the
// comma form has no suffix); the rest keep our defined defaults.
std::optional<DCB> build_dcb_from_mode(std::string_view mode) {
    static_assert(sizeof(::DCB) == sizeof(DCB), "the record keeps the system's layout");
    DCB start = default_dcb();
    ::DCB native{};
    std::memcpy(&native, &start, sizeof native);
    const std::string text(mode);
    if (text.find('\0') != std::string::npos || ::BuildCommDCBA(text.c_str(), &native) == 0) {
        return std::nullopt;
    }
    native.DCBlength = sizeof native;
    DCB built;
    std::memcpy(&built, &native, sizeof built);
    return built;
}

}  // namespace platform
