#include <cstdlib>

#include "platform/environment.h"
#include "platform/text.h"

namespace platform {

std::optional<std::string> FileNameFromEnvironment(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr ? NameFromUtf8(value) : std::nullopt;
}

}  // namespace platform
