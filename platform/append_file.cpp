// The parts of AppendFile that are the same on every system; opening, closing, the single write
// and the rename are in append_file_<system>.cpp.

#include "platform/append_file.h"

namespace platform {

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
