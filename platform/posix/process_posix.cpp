#include <spawn.h>
#include <unistd.h>

#include <array>
#include <atomic>

#include "platform/process.h"

extern char** environ;

namespace platform {

std::string GetModuleFileName() {
    std::array<char, 4096> buffer{};
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(length));
}

bool ShellOpen(const std::string& target) {
    // Started directly, so the target reaches the opener as one argument whatever it holds.
    std::string program = "xdg-open";
    std::string argument = target;
    std::array<char*, 3> argv{program.data(), argument.data(), nullptr};
    pid_t child = 0;
    return ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

unsigned SetErrorMode(unsigned mode) {
    static std::atomic<unsigned> current{0};
    return current.exchange(mode);
}

}  // namespace platform
