#pragma once
// A program run by a test as a child process, its standard error collected: for the tools
// (kadro-remote) that play the far end of a line.
//
// ChildProcess(argv) starts argv[0] with the arguments (throws std::runtime_error when it
// cannot). said_until(text, limit) collects standard error until it holds `text` or the limit
// passes, and returns what was said so far; said() everything said by now. exit_code(limit)
// waits at most `limit` for the end: the exit status, or -1 when it did not end normally or in
// time. The destructor ends a child still running (SIGKILL to its own id) and reaps it.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kadro::test {

class ChildProcess {
  public:
    explicit ChildProcess(std::vector<std::string> argv) {
        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(err[1]);
        m_err = err[0];
        if (rc != 0) {
            ::close(m_err);
            throw std::runtime_error("cannot start " + argv[0]);
        }
    }
    ~ChildProcess() {
        if (!m_ended) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_err);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    std::string said_until(const std::string& text, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (m_said.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd p{m_err, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) {
                break;
            }
            char buffer[1024];
            const ssize_t n = ::read(m_err, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            m_said.append(buffer, static_cast<std::size_t>(n));
        }
        return m_said;
    }

    std::string said() { return said_until("\n\n\n", std::chrono::milliseconds(0)); }

    int exit_code(std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!m_ended) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_ended = true;
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            } else if (std::chrono::steady_clock::now() >= deadline) {
                return -1;
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        }
        return m_status;
    }

  private:
    pid_t m_pid = -1;
    int m_err = -1;
    bool m_ended = false;
    int m_status = -1;
    std::string m_said;
};

}  // namespace kadro::test
