#pragma once
// Running a piece of a test as an unprivileged user, so that permission bits apply to it also
// when the suite runs as root (as it does in CI).
//
// RunInChild(body) runs body() in a forked child and returns the child's exit status: body()'s
// result (keep it within 0..125), or -1 when the child did not exit normally.
// RunUnprivileged(body) does the same as an ordinary user: a child of root first drops to uid
// and gid kUnprivilegedId with no supplementary groups (kIdentityNotDropped when it could not),
// any other user stays itself.
// The body must not use GoogleTest assertions (they would be lost with the child); it reports
// through its result.
//
// MountOverSys(folder), in a child: puts `folder` over /sys in a mount namespace of the child's
// own (as root, else in a user namespace), so that what the program reads there about devices is
// the test's. False when the system allows neither (then skip: never fall back to the real one).
// The child must have one thread.
//
// GiveToUnprivilegedUser(paths) makes kUnprivilegedId the owner of each path when this process
// is root, so that a child of RunUnprivileged acts on them as their owner; otherwise it does
// nothing, the current user being the owner already. False when a change of owner failed.

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>

namespace kadro::test {

inline constexpr uid_t kUnprivilegedId = 65534;  // "nobody" on Debian
inline constexpr int kIdentityNotDropped = 126;

inline int RunInChild(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline int RunUnprivileged(const std::function<int()>& body) {
    return RunInChild([&body] {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kUnprivilegedId) != 0 ||
                                 ::setuid(kUnprivilegedId) != 0 || ::geteuid() == 0)) {
            return kIdentityNotDropped;
        }
        return body();
    });
}

inline bool MountOverSys(const std::string& folder) {
    const std::string uid = std::to_string(::getuid()) + " " + std::to_string(::getuid()) + " 1";
    const std::string gid = std::to_string(::getgid()) + " " + std::to_string(::getgid()) + " 1";
    return (::unshare(CLONE_NEWNS) == 0 ||
            (::prctl(PR_SET_DUMPABLE, 1) == 0 && ::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0 &&
             std::ofstream("/proc/self/setgroups") << "deny" << std::flush &&
             std::ofstream("/proc/self/uid_map") << uid << std::flush &&
             std::ofstream("/proc/self/gid_map") << gid << std::flush)) &&
           ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(folder.c_str(), "/sys", nullptr, MS_BIND, nullptr) == 0;
}

inline bool GiveToUnprivilegedUser(std::initializer_list<std::string> paths) {
    if (::geteuid() != 0) {
        return true;
    }
    return std::ranges::all_of(paths, [](const std::string& path) {
        return ::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
    });
}

}  // namespace kadro::test
