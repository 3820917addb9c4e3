// The serial port layer on the real system: a COM port that is a pseudo-terminal echoing every
// byte (testing/with_com_port.py names it in KADRO_TEST_PORT), a real window receiving
// the notifications, and CLOSECOMM at the moments a real SendMessage could not survive.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/window.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Notification {
    platform::WPARAM wparam;
    platform::LPARAM lparam;
};

// What the test window's procedure saw and does; one test runs at a time on this thread.
struct Receiver {
    std::vector<Notification> notifications;
    std::string received;
    bool close_in_handler = false;
    bool closed_in_handler = false;
};
Receiver* g_receiver = nullptr;

platform::LRESULT receiver_procedure(platform::HWND hwnd, platform::UINT msg,
                                     platform::WPARAM wparam, platform::LPARAM lparam) {
    if (msg == platform::WM_COMMNOTIFY && g_receiver != nullptr) {
        g_receiver->notifications.push_back({wparam, lparam});
        auto port = static_cast<kadro::PortHandle>(wparam);
        if (g_receiver->close_in_handler) {
            g_receiver->closed_in_handler = kadro::CLOSECOMM(port);
            return 0;
        }
        kadro::ENABLECOMMNOTIFICATION(port, 0, 1, -1);
        std::string buffer(1000, ' ');
        int count = kadro::READCOMM(port, buffer);
        g_receiver->received += buffer.substr(0, static_cast<std::size_t>(count));
        kadro::ENABLECOMMNOTIFICATION(port, hwnd, 1, -1);
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

// Handles messages until `done` holds or `limit` passes; true when `done` held.
template <typename Done>
bool pump_until(Done done, std::chrono::milliseconds limit) {
    auto end = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        platform::MSG msg;
        while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
            platform::TranslateMessage(&msg);
            platform::DispatchMessage(&msg);
        }
        platform::Sleep(1);
    }
    return true;
}

class WindowsSerialPort : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* port = std::getenv("KADRO_TEST_PORT");
        if (port == nullptr) {
            GTEST_SKIP() << "KADRO_TEST_PORT is not set (run through with_com_port.py)";
        }
        m_name = std::string("\\\\.\\") + port;
        if (!platform::IsClassRegistered("KadroSerialTestReceiver")) {
            ASSERT_TRUE(platform::RegisterClass("KadroSerialTestReceiver", receiver_procedure));
        }
        m_window = platform::CreateWindowEx(0, "KadroSerialTestReceiver", "receiver",
                                            platform::WS_POPUP, 0, 0, 10, 10, 0, 0);
        ASSERT_NE(m_window, 0u);
        g_receiver = &m_receiver;
        m_port = kadro::OPENCOMM(m_name, 16384, 16384);
        ASSERT_GE(m_port, 0) << m_name;
        std::string dcb;
        ASSERT_TRUE(kadro::BUILDCOMMDCB("57600,N,8,1", dcb));
        ASSERT_TRUE(kadro::SETCOMMSTATE(m_port, dcb));
    }
    void TearDown() override {
        if (m_port >= 0) {
            kadro::CLOSECOMM(m_port);
        }
        g_receiver = nullptr;
        if (m_window != 0) {
            platform::DestroyWindow(m_window);
        }
    }

    std::string m_name;
    platform::HWND m_window = 0;
    kadro::PortHandle m_port = -1;
    Receiver m_receiver;
};

TEST_F(WindowsSerialPort, EchoedBytesArriveThroughTheNotificationInOrder) {
    ASSERT_TRUE(kadro::ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1));
    std::string sent;
    for (int i = 0; i < 256; ++i) {
        sent.push_back(static_cast<char>(i));
    }
    EXPECT_EQ(kadro::WRITECOMM(m_port, sent), 256);
    EXPECT_EQ(kadro::WRITECOMM(m_port, "T"), 1);
    EXPECT_EQ(kadro::WRITECOMM(m_port, ""), 0);
    ASSERT_TRUE(pump_until([&] { return m_receiver.received.size() >= 257; }, 5s))
        << "received " << m_receiver.received.size() << " bytes";
    EXPECT_EQ(m_receiver.received, sent + "T");
    ASSERT_FALSE(m_receiver.notifications.empty());
    for (const Notification& n : m_receiver.notifications) {
        EXPECT_EQ(n.wparam, static_cast<platform::WPARAM>(m_port));
        EXPECT_EQ(n.lparam, 1);
    }
}

TEST_F(WindowsSerialPort, BytesBeforeRegistrationAreAnnouncedAtRegistrationAndATrackGoesOutWhole) {
    std::string track(4608, '\0');
    for (std::size_t i = 0; i < track.size(); ++i) {
        track[i] = static_cast<char>(i * 7);
    }
    EXPECT_EQ(kadro::WRITECOMM(m_port, track), 4608);
    // Nobody registered: the echo collects in the ring, no message is sent.
    EXPECT_FALSE(pump_until([&] { return !m_receiver.notifications.empty(); }, 1500ms));
    ASSERT_TRUE(kadro::ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1));
    // No further byte comes: registering is what announces them.
    ASSERT_TRUE(pump_until([&] { return m_receiver.received.size() >= track.size(); }, 5s))
        << "received " << m_receiver.received.size() << " bytes";
    EXPECT_EQ(m_receiver.received, track);
}

TEST_F(WindowsSerialPort, CloseCommInsideTheHandlerReturnsAndNothingArrivesAfterIt) {
    ASSERT_TRUE(kadro::ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1));
    m_receiver.close_in_handler = true;
    EXPECT_EQ(kadro::WRITECOMM(m_port, "E"), 1);
    ASSERT_TRUE(pump_until([&] { return m_receiver.closed_in_handler; }, 5s));
    kadro::PortHandle closed = m_port;
    m_port = -1;
    std::size_t seen = m_receiver.notifications.size();
    EXPECT_EQ(seen, 1u);
    EXPECT_FALSE(pump_until([&] { return m_receiver.notifications.size() > seen; }, 500ms));
    // The handle names nothing any more, and the device is free for the next opener.
    std::string buffer(10, ' ');
    EXPECT_EQ(kadro::READCOMM(closed, buffer), 0);
    kadro::PortHandle again = kadro::OPENCOMM(m_name, 16384, 16384);
    EXPECT_GE(again, 0);
    kadro::CLOSECOMM(again);
}

TEST_F(WindowsSerialPort, CloseCommWithdrawsANotificationTheReaderIsBlockedOn) {
    ASSERT_TRUE(kadro::ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1));
    EXPECT_EQ(kadro::WRITECOMM(m_port, "TTT"), 3);
    // No message is handled meanwhile, so the reader thread is left waiting in its send.
    platform::Sleep(500);
    auto start = Clock::now();
    EXPECT_TRUE(kadro::CLOSECOMM(m_port));
    auto took = Clock::now() - start;
    m_port = -1;
    EXPECT_LT(took, 2s);
    EXPECT_FALSE(pump_until([&] { return !m_receiver.notifications.empty(); }, 500ms))
        << "a notification arrived after CLOSECOMM returned";
}

TEST(WindowsSerialOpen, AMissingPortGivesMinusOne) {
    EXPECT_EQ(kadro::OPENCOMM("\\\\.\\COM199", 16384, 16384), -1);
    EXPECT_EQ(kadro::OPENCOMM("", 16384, 16384), -1);
}

}  // namespace
}  // namespace kadro::test
