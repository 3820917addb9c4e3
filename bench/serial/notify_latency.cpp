// Latency from a byte written at the far end of a pseudo-terminal to its WM_COMMNOTIFY being
// handled on the interface thread, over 1000 round trips: median and p99.
//
//   serial_latency_bench [round_trips]

#include <pty.h>
#include <termios.h>
#include <unistd.h>

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
Clock::time_point g_handled_at;
std::string g_buffer(1000, ' ');

platform::LRESULT proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                       platform::LPARAM lparam) {
    if (msg == platform::WM_COMMNOTIFY) {
        if (kadro::READCOMM(static_cast<kadro::PortHandle>(wparam), g_buffer) > 0) {
            g_handled_at = Clock::now();
            g_handled = true;
        }
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

bool pump_until_handled() {
    auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!g_handled && Clock::now() < deadline) {
        platform::MSG msg;
        while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
            platform::DispatchMessage(&msg);
        }
        if (!g_handled) {
            platform::MsgWaitForInput(std::chrono::milliseconds(1000));
        }
    }
    return g_handled;
}

}  // namespace

int main(int argc, char** argv) {
    const int round_trips = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        std::perror("openpty");
        return 1;
    }
    kadro::PortHandle port = kadro::OPENCOMM(std::string("\\\\.\\") + name, 16384, 16384);
    std::string dcb;
    if (port < 0 || !kadro::BUILDCOMMDCB("57600,N,8,1", dcb) || !kadro::SETCOMMSTATE(port, dcb)) {
        std::fprintf(stderr, "cannot set up the port on %s\n", name);
        return 1;
    }
    platform::RegisterClass("KadroLatencyBench", proc);
    platform::HWND window =
        platform::CreateWindowEx(0, "KadroLatencyBench", "", 0, 0, 0, 10, 10, 0, 0);
    kadro::ENABLECOMMNOTIFICATION(port, window, 1, -1);

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(round_trips));
    const int warm_up = 50;
    for (int i = 0; i < warm_up + round_trips; ++i) {
        g_handled = false;
        auto sent_at = Clock::now();
        if (::write(master, "T", 1) != 1 || !pump_until_handled()) {
            std::fprintf(stderr, "round trip %d failed\n", i);
            return 1;
        }
        if (i >= warm_up) {
            micros.push_back(
                std::chrono::duration<double, std::micro>(g_handled_at - sent_at).count());
        }
    }
    kadro::CLOSECOMM(port);
    platform::DestroyWindow(window);
    ::close(master);
    ::close(slave);

    std::sort(micros.begin(), micros.end());
    auto at = [&](double q) {
        return micros[std::min(micros.size() - 1, static_cast<std::size_t>(q * micros.size()))];
    };
    std::printf("byte -> handled WM_COMMNOTIFY over a pseudo-terminal, %d round trips\n",
                round_trips);
    std::printf("  median %.1f us   p99 %.1f us   min %.1f us   max %.1f us\n", at(0.5), at(0.99),
                micros.front(), micros.back());
    return 0;
}
