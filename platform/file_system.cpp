// The parts of file_system.h that are the same on every system; the file calls themselves are in
// file_system_<system>.cpp.

#include "platform/file_system.h"

namespace platform {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        m_fd = other.release();
    }
    return *this;
}

}  // namespace platform
