// The parts of AppendFile that are the same on every system; opening, closing, the single write
// and the rename are in append_file_<system>.cpp.

#include "platform/append_file.h"

#include <utility>

namespace platform {

AppendFile::AppendFile(AppendFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kNoHandle)), m_size(std::exchange(other.m_size, 0)) {}

AppendFile& AppendFile::operator=(AppendFile&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kNoHandle);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

AppendFile::~AppendFile() {
    close();
}

std::string AppendFile::append(std::string_view data) {
    if (m_handle == kNoHandle) {
        return "File not open";
    }
    while (!data.empty()) {
        std::string error;
        const std::optional<std::size_t> taken = write_once(m_handle, data, &error);
        if (!taken) {
            return error;
        }
        m_size += *taken;
        data.remove_prefix(*taken);
    }
    return {};
}

}  // namespace platform
