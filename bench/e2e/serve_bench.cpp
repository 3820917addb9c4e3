// kadro-serve end to end over a pseudo-terminal, beside the reference server, in one run:
//  (a) time to serve 160 tracks to a remote machine that asks for each in turn, divided by the
//      time the reference server (read "T", write 0x00, pause 10 ms, write 4608 bytes) needs;
//  (b) median and p99 of the time from "T" written to 0x00 received, for both;
//  (c) processor time kadro-serve uses while it waits idle_seconds with no command, as a share
//      of one core;
//  (d) kadro-serve's peak resident memory.
// Usage: serve_bench [--trace] [idle_seconds]   (--trace: the same run with --trace FILE on)

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
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
using kadro::test::PtyPair;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double cpu_seconds_of(pid_t pid) {
    clockid_t clock{};
    timespec ts{};
    if (::clock_getcpuclockid(pid, &clock) != 0 || ::clock_gettime(clock, &ts) != 0) {
        throw std::runtime_error("cannot read kadro-serve's processor time");
    }
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// kadro-serve on `line`, its log read from a pipe until the first "Waiting" line.
pid_t start_serving(const PtyPair& line, const std::vector<std::string>& extra) {
    std::vector<std::string> args{KADRO_SERVE_PROGRAM, "--port", line.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.emplace_back("image.vks");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int log[2];
    if (::pipe(log) != 0) {
        throw std::runtime_error("pipe failed");
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(line.master());
        ::close(line.slave());
        ::dup2(log[1], STDOUT_FILENO);
        ::close(log[0]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(log[1]);
    std::string seen;
    char buffer[256];
    while (seen.find("Waiting command") == std::string::npos) {
        const std::size_t n = read_some(log[0], buffer, sizeof buffer);
        seen.append(buffer, n);
    }
    // The rest of the log is not read: it fits the pipe.
    return pid;
}

}  // namespace

// A failed run ends in std::terminate, which prints the exception's text; that is all a
// benchmark run needs.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
    bool trace = false;
    int idle_seconds = 10;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--trace") {
            trace = true;
        } else {
            idle_seconds = std::atoi(argv[i]);
        }
    }
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("kadro-serve-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    // kadro-serve sends the blocks side by side and the reference in file order: the same bytes
    // on the line either way.
    std::ofstream("image.vks", std::ios::binary) << BenchImage();

    const ReferenceRun reference = RunReference(BenchImage());

    PtyPair line;
    const pid_t pid = start_serving(
        line, trace ? std::vector<std::string>{"--trace", (dir / "trace.txt").string()}
                    : std::vector<std::string>{});
    const double cpu_before = cpu_seconds_of(pid);
    std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
    const double idle_cpu = (cpu_seconds_of(pid) - cpu_before) / idle_seconds;
    const auto start = Clock::now();
    const std::vector<double> latencies = fetch_tracks(line.master(), kTracks);
    const double served_seconds = seconds_since(start);
    write_all(line.master(), std::string{kadro::protocol::kEndOfService});
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);

    std::printf(
        "kadro-serve%s: served %zu tracks in %.3f s; reference server %.3f s; ratio %.4f "
        "(target <= 1.02)\n",
        trace ? " --trace" : "", kTracks, served_seconds, reference.seconds,
        served_seconds / reference.seconds);
    std::printf(
        "T to 0x00: median %.3f ms, p99 %.3f ms; reference median %.3f ms, p99 %.3f ms; "
        "median ratio %.2f (target <= 1.5)\n",
        percentile(latencies, 0.5), percentile(latencies, 0.99),
        percentile(reference.latencies, 0.5), percentile(reference.latencies, 0.99),
        percentile(latencies, 0.5) / percentile(reference.latencies, 0.5));
    std::printf("idle %d s: %.3f%% of one core (target <= 0.1%%)\n", idle_seconds, idle_cpu * 100);
    std::printf("peak resident memory %.2f MB (target <= 8 MB); exit status %d\n",
                static_cast<double>(usage.ru_maxrss) / 1024.0,
                WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
