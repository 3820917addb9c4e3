#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "app/protocol.h"
#include "platform/serial_device.h"
#include "platform/serial_settings.h"
#include "platform/system_error.h"
#include "tools/remote/line.h"

namespace remote {

LineHandle OpenLine(const std::string& device, const std::string& mode) {
    std::string path = platform::SerialDevicePath(device);
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "kadro-remote: cannot open %s: %s\n", path.c_str(),
                     platform::SystemErrorText(errno).c_str());
        return kNoLine;
    }
    auto dcb = platform::BuildDcbFromMode(mode);
    if (!dcb || !platform::ApplySerialSettings(fd, *dcb)) {
        std::fprintf(stderr, "kadro-remote: cannot set line \"%s\" on %s\n", mode.c_str(),
                     path.c_str());
        ::close(fd);
        return kNoLine;
    }
    return fd;
}

LineHandle AdoptLine(int fd) {
    return fd;
}

bool WriteAll(LineHandle line, std::string_view bytes) {
    const int fd = static_cast<int>(line);
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            std::fprintf(stderr, "kadro-remote: write failed: %s\n",
                         platform::SystemErrorText(errno).c_str());
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string ReadSome(LineHandle line, std::size_t count, int timeout_ms) {
    const int fd = static_cast<int>(line);
    std::string out;
    char buffer[kadro::protocol::kTrackBytes];
    while (out.size() < count) {
        pollfd p{fd, POLLIN, 0};
        int rc = ::poll(&p, 1, timeout_ms);
        if (rc < 0 && errno == EINTR) {
            continue;
        }
        if (rc <= 0) {
            break;
        }
        ssize_t n = ::read(fd, buffer, std::min(sizeof buffer, count - out.size()));
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

}  // namespace remote
