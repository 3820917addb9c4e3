// End-to-end figures of serving over a pseudo-terminal, in one run:
//  (a) time to serve a 737280-byte image to a remote machine that asks for every track, divided
//      by the time a minimal reference server (read "T", write 0x00, pause 10 ms, write 4608
//      bytes) needs for the same requests;
//  (b) median and p99 of the time from "T" written by the remote machine to 0x00 received;
//  (c) processor time the program uses while it waits 10 s with no command, as a fraction of
//      one core;
//  (d) the time to serve the same 160 tracks with the wire trace on (Traccia= in KADRO.INI),
//      divided by the time without it: the median of three runs each, taken in turns;
//  (e) (a) and (b) again on a TCP line over loopback, the program connecting to the remote
//      machine (Porta=tcp:127.0.0.1:PORT), each as a ratio to the pseudo-terminal's figure.
// Usage: e2e_bench [idle_seconds]

#include <netinet/tcp.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/main_program.h"
#include "bench/e2e/reference_server.h"
#include "bench/e2e/remote_side.h"
#include "platform/display.h"
#include "platform/message_queue.h"
#include "support/program_lifecycle.h"
#include "testing/cpu_time.h"
#include "testing/pty_pair.h"
#include "testing/tcp_peer.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace kadro::bench;
using kadro::test::process_cpu_seconds;
using kadro::test::PtyPair;
using kadro::test::TcpListener;
using kadro::test::TcpPeer;

std::vector<double> fetch_all(int fd) {
    return fetch_tracks(fd, kTracks);
}

// One run of the program on the line named `port`: after `idle_seconds` without a command, the
// remote machine, on the end `remote()` gives it, fetches every track and sends "E".
struct ProgramRun {
    double served_seconds = 0;
    double idle_cpu = 0;  // fraction of one core while idle
    std::vector<double> latencies;
    int code = 0;
};

ProgramRun run_program(const std::filesystem::path& dir, const std::string& port,
                       const std::function<int()>& remote_end, int idle_seconds, bool traced) {
    std::ofstream(dir / "KADRO.INI", std::ios::binary)
        << "[Impostazioni]\r\nPorta=" << port << "\r\n"
        << (traced ? "Traccia=trace.txt\r\n" : "");
    std::filesystem::remove(dir / "trace.txt");
    ProgramRun run;
    std::thread remote([&] {
        const int fd = remote_end();
        // Let the window come up and the command loop start before the clock runs.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        double cpu_before = process_cpu_seconds();
        std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
        run.idle_cpu = idle_seconds > 0 ? (process_cpu_seconds() - cpu_before) / idle_seconds : 0;
        auto start = Clock::now();
        run.latencies = fetch_all(fd);
        run.served_seconds = std::chrono::duration<double>(Clock::now() - start).count();
        write_all(fd, std::string{kadro::protocol::kEndOfService});
    });
    kadro::ResetProgramLifecycle();
    run.code = kadro::RunProgram();
    remote.join();
    return run;
}

ProgramRun run_on_pty(const std::filesystem::path& dir, int idle_seconds, bool traced) {
    PtyPair line;
    return run_program(
        dir, line.path(), [&] { return line.master(); }, idle_seconds, traced);
}

double median(std::vector<double> values) {
    return percentile(std::move(values), 0.5);
}

class BenchDisplay : public platform::Display {
  public:
    explicit BenchDisplay(std::string image) : m_image(std::move(image)) {}
    std::optional<std::vector<std::string>> choose_files(
        const platform::FileChooserRequest&) override {
        return std::vector<std::string>{m_image};
    }

  private:
    std::string m_image;
};

}  // namespace

// A failed run ends in std::terminate, which prints the exception's text; that is all a
// benchmark run needs.
int main(int argc, char** argv) {  // NOLINT(bugprone-exception-escape)
    int idle_seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("kadro-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::filesystem::current_path(dir);
    std::ofstream(dir / "image.vks", std::ios::binary) << BenchImage();

    const ReferenceRun reference = RunReference(BenchImage());

    // The program.
    platform::AttachDisplay(std::make_unique<BenchDisplay>((dir / "image.vks").string()));
    ProgramRun first = run_on_pty(dir, idle_seconds, false);

    // The program with and without its trace, in turns, so that drift of the machine falls on
    // both alike.
    std::vector<double> plain_seconds;
    std::vector<double> traced_seconds;
    std::vector<double> traced_latencies;
    std::uintmax_t trace_bytes = 0;
    for (int round = 0; round < 3; ++round) {
        for (bool traced : {round % 2 == 1, round % 2 == 0}) {
            ProgramRun run = run_on_pty(dir, 0, traced);
            first.code |= run.code;
            (traced ? traced_seconds : plain_seconds).push_back(run.served_seconds);
            if (traced) {
                traced_latencies.insert(traced_latencies.end(), run.latencies.begin(),
                                        run.latencies.end());
                trace_bytes = std::filesystem::file_size(dir / "trace.txt");
            }
        }
    }

    // The program on a TCP line over loopback, connecting to the remote machine.
    TcpListener remote_machine;
    TcpPeer connection;
    const ProgramRun tcp = run_program(
        dir, remote_machine.line_name(),
        [&] {
            connection = remote_machine.accept();
            if (connection.fd() < 0) {
                throw std::runtime_error("the program did not connect");
            }
            // The remote machine's own requests leave at once too: only the program is measured.
            int on = 1;
            ::setsockopt(connection.fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            return connection.fd();
        },
        0, false);
    first.code |= tcp.code;
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);

    std::printf(
        "served %zu tracks in %.3f s; reference server %.3f s; ratio %.4f (target <= 1.02)\n",
        kTracks, first.served_seconds, reference.seconds, first.served_seconds / reference.seconds);
    std::printf(
        "T to 0x00: median %.3f ms, p99 %.3f ms (reference median %.3f ms); target "
        "median < 0.3 ms\n",
        percentile(first.latencies, 0.5), percentile(first.latencies, 0.99),
        percentile(reference.latencies, 0.5));
    std::printf("idle %d s: %.2f%% of one core (target < 1%%)\n", idle_seconds,
                first.idle_cpu * 100);
    std::printf(
        "trace on: served %zu tracks in %.3f s (median of 3), off: %.3f s; ratio %.4f (target <= "
        "1.03); T to 0x00 median %.3f ms, p99 %.3f ms; trace %ju bytes\n",
        kTracks, median(traced_seconds), median(plain_seconds),
        median(traced_seconds) / median(plain_seconds), percentile(traced_latencies, 0.5),
        percentile(traced_latencies, 0.99), trace_bytes);
    const double pty_p50 = percentile(first.latencies, 0.5);
    const double pty_p99 = percentile(first.latencies, 0.99);
    const double tcp_p50 = percentile(tcp.latencies, 0.5);
    const double tcp_p99 = percentile(tcp.latencies, 0.99);
    std::printf(
        "TCP line (loopback): served %zu tracks in %.3f s, ratio to the pseudo-terminal %.4f; T to "
        "0x00: median %.3f ms (ratio %.3f), p99 %.3f ms (ratio %.3f); target ratios <= 1.1\n",
        kTracks, tcp.served_seconds, tcp.served_seconds / first.served_seconds, tcp_p50,
        tcp_p50 / pty_p50, tcp_p99, tcp_p99 / pty_p99);
    return first.code;
}
