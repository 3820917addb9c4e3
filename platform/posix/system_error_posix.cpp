#include "platform/system_error.h"

#include <string.h>

#include <array>

namespace platform {

std::string SystemErrorText(std::uint32_t code) {
    // The GNU strerror_r: thread-safe, unlike strerror, and it returns the text it found
    // (which need not be the buffer).
    std::array<char, 256> buffer{};
    return ::strerror_r(static_cast<int>(code), buffer.data(), buffer.size());
}

}  // namespace platform
