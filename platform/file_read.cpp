// The parts of ReadOnlyFile that are the same on every system; opening, closing and the single
// read are in file_read_<system>.cpp.

#include "platform/file_read.h"

#include <algorithm>
#include <new>

namespace platform {

std::optional<unsigned char> ReadOnlyFile::read_byte_at(std::uint64_t offset) const {
    FileReadResult read = read_at(offset, 1);
    if (read.data.size() != 1) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(read.data.front());
}

std::string ReadOnlyFile::read_from_start(std::uint64_t count) const {
    return read_at(0, count).data;
}

FileReadResult ReadOnlyFile::read_at(std::uint64_t offset, std::uint64_t count) const {
    FileReadResult result;
    if (m_handle == kNoHandle || offset >= m_size) {
        return result;
    }
    count = std::min(count, m_size - offset);
    if (count > result.data.max_size()) {
        throw std::bad_alloc();
    }
    result.data.resize(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < result.data.size()) {
        const std::optional<std::size_t> got =
            read_once_at(m_handle, result.data.data() + done, result.data.size() - done,
                         offset + done, &result.error);
        if (!got || *got == 0) {
            break;  // an input/output error, or the file has shrunk since it was opened
        }
        done += *got;
    }
    result.data.resize(done);
    return result;
}

}  // namespace platform
