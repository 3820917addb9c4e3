#pragma once
// A window that records WM_COMMNOTIFY and runs a per-test handler, a message pump with a hang
// guard, and a pseudo-terminal for the port under test, with the steps the serial tests share:
// opening, closing and setting up the port, collecting what notifications announce, and
// waiting for the ring or for the interface thread's messages.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "testing/pty_pair.h"
#include "testing/test_window.h"

namespace kadro::test {

struct Notification {
    platform::WPARAM wparam;
    platform::LPARAM lparam;
};

// Ends the test program with a message naming `what` when the stretch this object guards has
// not finished within `limit`. For calls that can only deadlock, such as a close that waits for
// a reader thread which waits for this very thread: no assertion could run after them, and the
// run would otherwise stop only at CTest's time-out.
class HangGuard {
  public:
    HangGuard(std::string what, std::chrono::seconds limit)
        : m_watcher([this, what = std::move(what), limit] {
              std::unique_lock lock(m_mutex);
              if (!m_finished.wait_for(lock, limit, [this] { return m_done; })) {
                  std::fprintf(stderr, "FAILED: %s did not finish within %lld s\n", what.c_str(),
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(1);
              }
          }) {}
    ~HangGuard() {
        {
            std::lock_guard lock(m_mutex);
            m_done = true;
        }
        m_finished.notify_all();
        m_watcher.join();
    }
    HangGuard(const HangGuard&) = delete;
    HangGuard& operator=(const HangGuard&) = delete;

  private:
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::thread m_watcher;
};

class PortTest : public ::testing::Test {
  protected:
    static constexpr platform::UINT kMarker = platform::WM_USER + 7;

    void SetUp() override {
        s_current = this;
        platform::RegisterClass("KadroSerialTestWindow", &PortTest::proc);
        m_window = platform::CreateWindowEx(0, "KadroSerialTestWindow", "", 0, 0, 0, 10, 10, 0, 0);
        ASSERT_NE(m_window, 0u);
    }
    void TearDown() override {
        if (m_port >= 0) {
            CLOSECOMM(m_port);
        }
        platform::DestroyWindow(m_window);
        s_current = nullptr;
    }

    PortHandle open_port() {
        m_port = OPENCOMM("\\\\.\\" + m_pty.path());
        EXPECT_GE(m_port, 0);
        return m_port;
    }

    // Closes the port under test; true when CLOSECOMM said it closed.
    bool close_port() {
        const bool closed = CLOSECOMM(m_port);
        m_port = -1;
        return closed;
    }

    // Sets the line of the port under test as `mode` says ("57600,N,8,1").
    void set_line(const std::string& mode) {
        std::string dcb;
        ASSERT_TRUE(BUILDCOMMDCB(mode, dcb)) << mode;
        ASSERT_TRUE(SETCOMMSTATE(m_port, dcb)) << mode;
    }

    // Registers the window for the port under test; each notification appends to m_received
    // what one READCOMM with a buffer of `take` bytes gives.
    void collect(std::size_t take) {
        m_on_notify = [this, buffer = std::string(take, '\0')](PortHandle h) mutable {
            m_received.append(buffer, 0, static_cast<std::size_t>(READCOMM(h, buffer)));
        };
        ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1);
    }

    // The kind of the fault the port has recorded, if any.
    static std::optional<platform::LineFault> fault_of(PortHandle port) {
        const std::optional<CommLineFault> fault = GetCommLineFault(port);
        return fault ? std::optional(fault->kind) : std::nullopt;
    }

    // Dispatches messages until `done` holds; fails the test instead of hanging.
    bool pump_until(const std::function<bool()>& done,
                    std::chrono::seconds limit = std::chrono::seconds(30)) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < deadline) {
            dispatch_waiting();
            if (done()) {
                return true;
            }
            platform::MsgWaitForInput(std::chrono::milliseconds(20));
        }
        ADD_FAILURE() << "condition not reached";
        return false;
    }

    // Delivers everything already sent to this thread: sent messages run before a posted one.
    void flush_sent() {
        m_marker_seen = false;
        platform::PostMessage(m_window, kMarker, 0, 0);
        pump_until([this] { return m_marker_seen; });
    }

    // Waits (without pumping) until the port's ring satisfies `done`.
    static bool ring_until(PortHandle port, const std::function<bool(CommRingPositions)>& done) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            auto positions = GetCommRingPositions(port);
            if (positions && done(*positions)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ADD_FAILURE() << "ring state not reached";
        return false;
    }

    static int unread(CommRingPositions p) { return (p.write - p.read + 2048) % 2048; }

    PtyPair m_pty;
    platform::HWND m_window = 0;
    PortHandle m_port = -1;
    std::vector<Notification> m_seen;
    std::string m_received;
    std::function<void(PortHandle)> m_on_notify;
    bool m_marker_seen = false;

  private:
    static platform::LRESULT proc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                  platform::LPARAM lparam) {
        if (s_current != nullptr && msg == platform::WM_COMMNOTIFY) {
            s_current->m_seen.push_back({wparam, lparam});
            if (s_current->m_on_notify) {
                s_current->m_on_notify(static_cast<PortHandle>(wparam));
            }
            return 0;
        }
        if (s_current != nullptr && msg == kMarker) {
            s_current->m_marker_seen = true;
            return 0;
        }
        return platform::DefWindowProc(hwnd, msg, wparam, lparam);
    }

    static inline PortTest* s_current = nullptr;
};

}  // namespace kadro::test
