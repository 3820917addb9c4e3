// End-to-end figures of serving over a pseudo-terminal, in one run:
//  (a) time to serve a 737280-byte image to a remote machine that asks for every track, divided
//      by the time a minimal reference server (read "T", write 0x00, pause 10 ms, write 4608
//      bytes) needs for the same requests;
//  (b) median and p99 of the time from "T" written by the remote machine to 0x00 received;
//  (c) processor time the program uses while it waits 10 s with no command, as a fraction of
//      one core;
//  (d) (a) and (b) again on a TCP line over loopback, the program connecting to the remote
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

// The reference: the least a server must do for the same protocol.
void reference_server(int fd, const std::string& image) {
    char command = 0;
    std::size_t offset = 0;
    for (std::size_t k = 0; k < kTracks; ++k) {
        do {
            read_some(fd, &command, 1);
        } while (command != kadro::protocol::kTrackRequest);
        write_all(fd, std::string{kadro::protocol::kLeadIn});
        ::tcdrain(fd);
        std::this_thread::sleep_for(kadro::protocol::kLeadInPause);
        write_all(fd, std::string_view(image).substr(offset, kTrack));
        ::tcdrain(fd);
        offset += kTrack;
    }
}

void write_settings(const std::filesystem::path& dir, const std::string& port) {
    std::ofstream(dir / "KADRO.INI", std::ios::binary)
        << "[Impostazioni]\r\nPorta=" << port << "\r\n";
}

// One run of the program on the line `line()` gives once `settle` has returned, every track
// asked for; the seconds they took and the time each "T" took to be answered.
struct Served {
    double seconds = 0;
    std::vector<double> latencies;
};
Served serve_all(const std::function<int()>& line, const std::function<void()>& settle) {
    Served served;
    std::thread remote([&] {
        const int fd = line();
        settle();
        auto start = Clock::now();
        served.latencies = fetch_all(fd);
        served.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        write_all(fd, std::string{kadro::protocol::kEndOfService});
    });
    kadro::ResetProgramLifecycle();
    kadro::RunProgram();
    remote.join();
    return served;
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
    std::string image(kTrack * kTracks, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 13 + i / kTrack);
    }
    std::ofstream(dir / "image.vks", std::ios::binary) << image;

    // Reference server.
    PtyPair reference;
    auto reference_start = Clock::now();
    std::thread server([&] { reference_server(reference.slave(), image); });
    std::vector<double> reference_latencies = fetch_all(reference.master());
    server.join();
    double reference_seconds =
        std::chrono::duration<double>(Clock::now() - reference_start).count();

    // The program on a pseudo-terminal.
    platform::AttachDisplay(std::make_unique<BenchDisplay>((dir / "image.vks").string()));
    // Let the window come up and the command loop start before the clock runs.
    const auto settling = std::chrono::milliseconds(300);
    PtyPair line;
    write_settings(dir, line.path());
    double idle_cpu = 0;
    const Served pty =
        serve_all([&] { return line.master(); },
                  [&] {
                      std::this_thread::sleep_for(settling);
                      double cpu_before = process_cpu_seconds();
                      std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
                      idle_cpu = (process_cpu_seconds() - cpu_before) / idle_seconds;
                  });

    // The program on a TCP line over loopback, connecting to the remote machine.
    TcpListener remote_machine;
    TcpPeer connection;
    write_settings(dir, remote_machine.line_name());
    const Served tcp = serve_all(
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
        [&] { std::this_thread::sleep_for(settling); });
    std::filesystem::current_path("/");
    std::filesystem::remove_all(dir);
    const double served_seconds = pty.seconds;
    const std::vector<double>& latencies = pty.latencies;

    std::printf(
        "served %zu tracks in %.3f s; reference server %.3f s; ratio %.4f (target <= 1.02)\n",
        kTracks, served_seconds, reference_seconds, served_seconds / reference_seconds);
    std::printf(
        "T to 0x00: median %.3f ms, p99 %.3f ms (reference median %.3f ms); target "
        "median < 0.3 ms\n",
        percentile(latencies, 0.5), percentile(latencies, 0.99),
        percentile(reference_latencies, 0.5));
    std::printf("idle %d s: %.2f%% of one core (target < 1%%)\n", idle_seconds, idle_cpu * 100);
    const double pty_p50 = percentile(pty.latencies, 0.5);
    const double pty_p99 = percentile(pty.latencies, 0.99);
    const double tcp_p50 = percentile(tcp.latencies, 0.5);
    const double tcp_p99 = percentile(tcp.latencies, 0.99);
    std::printf(
        "TCP line (loopback): served %zu tracks in %.3f s, ratio to the pseudo-terminal %.4f; T to "
        "0x00: median %.3f ms (ratio %.3f), p99 %.3f ms (ratio %.3f); target ratios <= 1.1\n",
        kTracks, tcp.seconds, tcp.seconds / pty.seconds, tcp_p50, tcp_p50 / pty_p50, tcp_p99,
        tcp_p99 / pty_p99);
    return 0;
}
