#include <cstring>
#include <string>

#include "platform/serial_settings.h"

// After our headers: <windows.h> defines NOPARITY, ONESTOPBIT and the like as macros.
#include <windows.h>

namespace platform {

static_assert(sizeof(::DCB) == sizeof(DCB), "the record keeps the system's layout");

// The system parses the string, changing only the fields it names (and flow control when the
// comma form has no suffix); the rest keep our defined defaults.
std::optional<DCB> BuildDcbFromMode(std::string_view mode) {
    DCB start = DefaultDcb();
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

bool ApplySerialSettings(std::intptr_t device, const DCB& dcb) {
    ::DCB native{};
    std::memcpy(&native, &dcb, sizeof native);
    native.DCBlength = sizeof native;
    return ::SetCommState(reinterpret_cast<HANDLE>(device), &native) != 0;
}

}  // namespace platform
