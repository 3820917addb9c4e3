#include "platform/posix/open_failure.h"

#include <grp.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <vector>

namespace platform::detail {
namespace {

SerialOpenProblem problem_of(int error_number) {
    switch (error_number) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return SerialOpenProblem::kMissing;
        case EBUSY:
        case EWOULDBLOCK:
            return SerialOpenProblem::kInUse;
        case EACCES:
        case EPERM:
            return SerialOpenProblem::kNoPermission;
        case ENOTTY:
        case EISDIR:
            return SerialOpenProblem::kNotSerial;
        default:
            return SerialOpenProblem::kOther;
    }
}

std::string group_of(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return {};
    }
    group entry{};
    group* found = nullptr;
    std::vector<char> scratch(4096);
    if (::getgrgid_r(info.st_gid, &entry, scratch.data(), scratch.size(), &found) != 0 ||
        found == nullptr) {
        return {};
    }
    return found->gr_name;
}

}  // namespace

SerialOpenFailure OpenFailure(const std::string& path, int error_number) {
    SerialOpenFailure failure;
    failure.problem = problem_of(error_number);
    failure.error = static_cast<std::uint32_t>(error_number);
    const std::unique_ptr<char, decltype(&::free)> real(::realpath(path.c_str(), nullptr), &::free);
    failure.device = real ? std::string(real.get()) : path;
    if (failure.problem == SerialOpenProblem::kNoPermission) {
        failure.group = group_of(failure.device);
    }
    return failure;
}

}  // namespace platform::detail
