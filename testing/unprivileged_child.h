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
// GiveToUnprivilegedUser(paths) makes kUnprivilegedId the owner of each path when this process
// is root, so that a child of RunUnprivileged acts on them as their owner; otherwise it does
// nothing, the current user being the owner already. False when a change of owner failed.

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

inline bool GiveToUnprivilegedUser(std::initializer_list<std::string> paths) {
    if (::geteuid() != 0) {
        return true;
    }
    return std::ranges::all_of(paths, [](const std::string& path) {
        return ::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
    });
}

}  // namespace kadro::test
