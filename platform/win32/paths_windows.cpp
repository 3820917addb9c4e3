#include "platform/paths.h"

namespace platform {

// The program's backslash spelling is the system's own.
std::string NativePath(std::string_view path) {
    return std::string(path);
}

}  // namespace platform
