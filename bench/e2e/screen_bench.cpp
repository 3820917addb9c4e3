// On-screen end-to-end figures, in one run over pseudo-terminals: the real kadro program with
// its display on Xvfb under openbox, against a minimal poll-based reference server of our own
// (read "T", write 0x00, pause 10 ms, write the track), both asked the same way:
//  - the time to serve 160 tracks of a 737280-byte image, and the ratio of the two;
//  - median and p99 of the time from "T" written to 0x00 read;
//  - processor time while nothing is asked, as a share of one core;
//  - peak resident memory;
//  - the time to answer a "T" written after 1 MB of bytes that are neither "T" nor "E".
// Usage: screen_bench [--kadro PATH] [--idle-seconds N]
// Needs Xvfb, openbox and xdotool. The figures are printed next to their targets; the exit code
// says only whether the run could be made.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "bench/e2e/reference_server.h"
#include "bench/e2e/remote_side.h"
#include "testing/pty_pair.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kadro::bench;
namespace fs = std::filesystem;

constexpr std::size_t kNoise = 1 << 20;

// A child process, ended (SIGTERM, then SIGKILL) when still running at destruction.
class Child {
  public:
    Child(const std::vector<std::string>& argv, const fs::path& folder, const fs::path& log,
          int keep_fd = -1) {
        m_pid = ::fork();
        if (m_pid < 0) {
            throw std::runtime_error("fork failed");
        }
        if (m_pid == 0) {
            if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
                ::_exit(127);
            }
            int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out >= 0) {
                ::dup2(out, 1);
                ::dup2(out, 2);
            }
            for (int fd = 3; fd < 1024; ++fd) {
                if (fd != keep_fd) {
                    ::close(fd);
                }
            }
            std::vector<char*> args;
            for (const std::string& a : argv) {
                args.push_back(const_cast<char*>(a.c_str()));
            }
            args.push_back(nullptr);
            ::execvp(args[0], args.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            for (int i = 0; i < 50 && !reap(WNOHANG); ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
            if (m_pid > 0) {
                ::kill(m_pid, SIGKILL);
                reap(0);
            }
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return m_pid; }

    // Waits for the end; returns the exit status and fills the resource use.
    int wait_end(std::chrono::seconds timeout, rusage* usage) {
        auto deadline = Clock::now() + timeout;
        while (m_pid > 0 && Clock::now() < deadline) {
            if (reap(WNOHANG)) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        if (m_pid > 0) {
            throw std::runtime_error("a process did not end");
        }
        *usage = m_usage;
        return m_status;
    }

    // Processor seconds used so far (user and system), from /proc.
    double cpu_seconds() const {
        std::ifstream stat("/proc/" + std::to_string(m_pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        double ticks = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14 || i == 15) {
                ticks += std::stod(field);
            }
        }
        return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }

  private:
    bool reap(int options) {
        int status = 0;
        pid_t done = ::wait4(m_pid, &status, options, &m_usage);
        if (done == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            m_pid = -1;
            return true;
        }
        return false;
    }

    pid_t m_pid = -1;
    int m_status = -1;
    rusage m_usage{};
};

struct Figures {
    double seconds = 0;
    std::vector<double> latencies;
    double idle_share = 0;
    double peak_mb = 0;
    NoiseAnswer noise;
};

// The reference server: as little as the protocol needs, waiting in poll().
int reference_server(const char* device, const char* image_path) {
    std::ifstream in(image_path, std::ios::binary);
    std::string image((std::istreambuf_iterator<char>(in)), {});
    int fd = ::open(device, O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return 1;
    }
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    std::size_t offset = 0;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, -1) <= 0) {
            continue;
        }
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) {
            return 1;
        }
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == kadro::protocol::kEndOfService) {
                return 0;
            }
            if (buffer[i] != kadro::protocol::kTrackRequest) {
                continue;
            }
            std::size_t count = std::min(kTrack, image.size() - offset);
            AnswerTrack(fd, std::string_view(image).substr(offset, count));
            offset += count;
        }
    }
}

void run_or_throw(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

// Idle share, 160 tracks, the noise case and "E" against a server on the far end `line`.
Figures measure(Child& server, int line, int idle_seconds) {
    Figures f;
    double cpu_before = server.cpu_seconds();
    auto idle_start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
    f.idle_share = (server.cpu_seconds() - cpu_before) /
                   std::chrono::duration<double>(Clock::now() - idle_start).count();
    auto start = Clock::now();
    f.latencies = fetch_tracks(line, kTracks);
    f.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    f.noise = answer_after_noise(line, kNoise);
    write_all(line, std::string{kadro::protocol::kEndOfService});
    rusage usage{};
    int status = server.wait_end(std::chrono::seconds(30), &usage);
    if (status != 0) {
        throw std::runtime_error("a server ended with status " + std::to_string(status));
    }
    f.peak_mb = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return f;
}

std::string start_xvfb(std::unique_ptr<Child>& xvfb, const fs::path& dir) {
    int fds[2];
    if (::pipe(fds) != 0) {
        throw std::runtime_error("pipe failed");
    }
    xvfb = std::make_unique<Child>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                 "1024x768x24", "-nolisten", "tcp", "-noreset"},
        "", dir / "xvfb.log", fds[1]);
    ::close(fds[1]);
    std::string number;
    char c = 0;
    pollfd p{fds[0], POLLIN, 0};
    while (::poll(&p, 1, 15000) > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') {
        number.push_back(c);
    }
    ::close(fds[0]);
    if (number.empty()) {
        throw std::runtime_error("Xvfb did not start");
    }
    return ":" + number;
}

void print(const Figures& kadro, const Figures& reference, int idle_seconds) {
    std::printf("160 tracks: kadro %.3f s, reference %.3f s, ratio %.4f (target <= 1.02)\n",
                kadro.seconds, reference.seconds, kadro.seconds / reference.seconds);
    double km = percentile(kadro.latencies, 0.5);
    double rm = percentile(reference.latencies, 0.5);
    std::printf("T -> 0x00 median: kadro %.3f ms, reference %.3f ms, ratio %.2f (target <= 2)\n",
                km, rm, km / rm);
    std::printf("T -> 0x00 p99: kadro %.3f ms (target <= 1 ms), reference %.3f ms\n",
                percentile(kadro.latencies, 0.99), percentile(reference.latencies, 0.99));
    std::printf("idle %d s: kadro %.3f%% of a core (target <= 0.3%%), reference %.3f%%\n",
                idle_seconds, kadro.idle_share * 100, reference.idle_share * 100);
    std::printf("peak RSS: kadro %.1f MB (target <= 30 MB), reference %.1f MB\n", kadro.peak_mb,
                reference.peak_mb);
    std::printf(
        "T after 1 MB of noise answered in: kadro %.1f ms (target <= 1000 ms), reference %.1f ms"
        "; from the first byte of noise: kadro %.1f ms, reference %.1f ms\n",
        kadro.noise.after_t_ms, reference.noise.after_t_ms, kadro.noise.after_noise_start_ms,
        reference.noise.after_noise_start_ms);
    // Timings of a few milliseconds depend on what else the machine runs.
    std::ifstream load("/proc/loadavg");
    std::string one_minute;
    load >> one_minute;
    std::printf("load average (1 min) at the end: %s\n", one_minute.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--reference-server") {
        return reference_server(argv[2], argv[3]);
    }
    std::string kadro_path = KADRO_PROGRAM;
    int idle_seconds = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--kadro") {
            kadro_path = argv[i + 1];
        } else if (option == "--idle-seconds") {
            idle_seconds = std::atoi(argv[i + 1]);
        }
    }
    kadro_path = fs::absolute(kadro_path).string();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    fs::path dir = fs::temp_directory_path() / ("kadro-screen-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "image.vks", std::ios::binary) << BenchImage();

    try {
        Figures reference;
        {
            kadro::test::PtyPair line;
            Child server({self, "--reference-server", line.path(), (dir / "image.vks").string()},
                         dir, dir / "reference.log");
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            reference = measure(server, line.master(), idle_seconds);
        }

        std::unique_ptr<Child> xvfb;
        const std::string display = start_xvfb(xvfb, dir);
        ::setenv("DISPLAY", display.c_str(), 1);
        Child openbox({"openbox", "--sm-disable"}, "", dir / "openbox.log");
        run_or_throw(
            "for i in $(seq 150); do xdotool get_desktop >/dev/null 2>&1 && exit 0; "
            "sleep 0.1; done; exit 1");

        Figures kadro;
        {
            kadro::test::PtyPair line;
            std::ofstream(dir / "KADRO.INI", std::ios::binary)
                << "[Impostazioni]\r\nPorta=" << line.path() << "\r\n";
            Child program({kadro_path}, dir, dir / "kadro.log");
            run_or_throw(
                "timeout 30 xdotool search --sync --onlyvisible --name "
                "'^Seleziona immagine da inviare$' windowactivate --sync >/dev/null && "
                "xdotool type --delay 20 image.vks && sleep 0.3 && xdotool key Return && "
                "timeout 30 xdotool search --sync --onlyvisible --name '^KADRO 1\\.00 ' "
                ">/dev/null");
            std::this_thread::sleep_for(std::chrono::seconds(1));
            kadro = measure(program, line.master(), idle_seconds);
        }
        print(kadro, reference, idle_seconds);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "screen_bench: %s (logs in %s)\n", e.what(), dir.c_str());
        return 1;
    }
    fs::remove_all(dir);
    return 0;
}
