// One-byte round trip on the Windows build: WRITECOMM of one byte to a COM port whose far end
// echoes it (testing/with_com_port.py names the port in KADRO_TEST_PORT), until its
// WM_COMMNOTIFY has been handled on the interface thread. Prints the median and p99.
//
//   python3 testing/with_com_port.py wine serial_round_trip_bench.exe [round_trips]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/window.h"

namespace {

using Clock = std::chrono::steady_clock;

bool g_handled = false;
std::string g_buffer(1000, ' ');

platform::LRESULT proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                       platform::LPARAM lparam) {
    if (msg == platform::WM_COMMNOTIFY) {
        g_handled = kadro::READCOMM(static_cast<kadro::PortHandle>(wparam), g_buffer) > 0;
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
    const char* port = std::getenv("KADRO_TEST_PORT");
    if (port == nullptr) {
        std::fprintf(stderr, "KADRO_TEST_PORT is not set (run through with_com_port.py)\n");
        return 2;
    }
    int rounds = argc > 1 ? std::atoi(argv[1]) : 500;
    platform::RegisterClass("RoundTripBench", proc);
    platform::HWND window = platform::CreateWindowEx(0, "RoundTripBench", "bench",
                                                     platform::WS_POPUP, 0, 0, 1, 1, 0, 0);
    kadro::PortHandle handle = kadro::OPENCOMM(std::string("\\\\.\\") + port, 16384, 16384);
    std::string dcb;
    if (window == 0 || handle < 0 || !kadro::BUILDCOMMDCB("57600,N,8,1", dcb) ||
        !kadro::SETCOMMSTATE(handle, dcb)) {
        std::fprintf(stderr, "cannot open %s\n", port);
        return 2;
    }
    kadro::ENABLECOMMNOTIFICATION(handle, window, 1, -1);
    std::vector<double> samples;
    for (int i = 0; i < rounds; ++i) {
        g_handled = false;
        auto start = Clock::now();
        kadro::WRITECOMM(handle, "T");
        while (!g_handled) {
            platform::MSG msg;
            while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
                platform::DispatchMessage(&msg);
            }
            if (!g_handled) {
                platform::MsgWaitForInput(std::chrono::milliseconds(100));
            }
        }
        samples.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    kadro::CLOSECOMM(handle);
    std::sort(samples.begin(), samples.end());
    std::printf("one-byte round trip over %d rounds: median %.3f ms, p99 %.3f ms\n", rounds,
                samples[samples.size() / 2], samples[samples.size() * 99 / 100]);
    return 0;
}
