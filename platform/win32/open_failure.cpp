#include "platform/win32/open_failure.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform::detail {
namespace {

SerialOpenProblem problem_of(std::uint32_t code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_BAD_NETPATH:
        case ERROR_DEV_NOT_EXIST:
            return SerialOpenProblem::kMissing;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return SerialOpenProblem::kInUse;
        case ERROR_BAD_DEVICE:
            return SerialOpenProblem::kNotSerial;
        default:
            return SerialOpenProblem::kOther;
    }
}

}  // namespace

SerialOpenFailure OpenFailure(const std::string& path, std::uint32_t code) {
    return {problem_of(code), code, path, {}};
}

}  // namespace platform::detail
