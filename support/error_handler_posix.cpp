#include <spawn.h>
#include <unistd.h>

#include <array>

#include "support/error_handler.h"

extern char** environ;

namespace kadro {

std::string ExecutablePath() {
    std::array<char, 4096> buffer{};
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length <= 0) {
        return {};
    }
    std::string path(buffer.data(), static_cast<std::size_t>(length));
    return path.substr(0, 248);
}

bool OpenMailProgram(const std::string& address) {
    // Started directly, so the address reaches the opener as one argument whatever it holds.
    std::string program = "xdg-open";
    std::string argument = address;
    std::array<char*, 3> argv{program.data(), argument.data(), nullptr};
    pid_t child = 0;
    return ::posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0;
}

}  // namespace kadro
