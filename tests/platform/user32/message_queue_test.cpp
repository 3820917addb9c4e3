// The message queue of the Win32 window system: retrieval, cross-thread sends, the
// withdrawable send of a SendGate, the wait for input and the key state.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/message_queue.h"
#include "platform/window.h"
#include "tests/platform/user32/win32_test_support.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;

constexpr platform::UINT kNotify = 0x0044;  // the serial notification's number

std::atomic<int> g_handled{0};
std::atomic<DWORD> g_handled_on{0};
platform::SendGate* g_gate_to_close = nullptr;
std::thread* g_sender_to_join = nullptr;

platform::LRESULT CountingProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                               platform::LPARAM lparam) {
    if (msg == kNotify) {
        ++g_handled;
        g_handled_on = GetCurrentThreadId();
        if (g_gate_to_close != nullptr) {
            // Closing the port from inside its own notification: the sender must be let go,
            // or joining it here would never return.
            g_gate_to_close->close();
            g_sender_to_join->join();
        }
        return static_cast<platform::LRESULT>(wparam) + 1000;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

class Win32Queue : public ::testing::Test {
  protected:
    void SetUp() override {
        static const bool registered = platform::RegisterClass("KadroCounting", &CountingProc);
        ASSERT_TRUE(registered || platform::IsClassRegistered("KadroCounting"));
        m_window =
            platform::CreateWindowEx(0, "KadroCounting", "", WS_OVERLAPPED, 0, 0, 10, 10, 0, 0);
        ASSERT_NE(m_window, 0u);
        g_handled = 0;
        g_handled_on = 0;
        g_gate_to_close = nullptr;
        g_sender_to_join = nullptr;
    }
    void TearDown() override {
        platform::DestroyWindow(m_window);
        HandleWaiting();
    }

    static void HandleWaiting() {
        platform::MSG msg;
        while (platform::PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
            platform::DispatchMessage(&msg);
        }
    }

    // Runs PeekMessage until the count of handled notifications reaches `count`.
    bool PeekUntilHandled(int count) {
        return PumpUntil([&] {
            platform::MSG msg;
            while (platform::PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
                platform::DispatchMessage(&msg);
            }
            return g_handled.load() >= count;
        });
    }

    platform::HWND m_window = 0;
};

TEST_F(Win32Queue, PostedMessagesComeInOrderAndQuitStopsRetrieval) {
    platform::MSG msg;
    EXPECT_FALSE(platform::PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    platform::PostMessage(m_window, WM_USER + 1, 1, 0);
    platform::PostMessage(m_window, WM_USER + 2, 2, 0);
    platform::PostQuitMessage(5);
    ASSERT_TRUE(platform::PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1u);
    EXPECT_EQ(msg.hwnd, m_window);
    ASSERT_TRUE(platform::GetMessage(&msg, 0, 0, 0));
    EXPECT_EQ(msg.message, WM_USER + 2u);
    EXPECT_FALSE(platform::GetMessage(&msg, 0, 0, 0));
    EXPECT_EQ(msg.message, static_cast<platform::UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 5u);
}

TEST_F(Win32Queue, CrossThreadSendRunsOnTheOwnerInsideRetrievalOnly) {
    std::atomic<platform::LRESULT> answer{0};
    std::thread sender([&] { answer = platform::SendMessage(m_window, kNotify, 7, 1); });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(g_handled.load(), 0) << "handled outside a retrieval call";
    ASSERT_TRUE(PeekUntilHandled(1));
    sender.join();
    EXPECT_EQ(answer.load(), 1007);
    EXPECT_EQ(g_handled_on.load(), GetCurrentThreadId());
}

TEST_F(Win32Queue, GateSendIsDeliveredAndAnswered) {
    platform::SendGate gate;
    std::atomic<bool> delivered{false};
    std::atomic<platform::LRESULT> answer{0};
    std::thread sender([&] {
        bool d = false;
        answer = gate.send(m_window, kNotify, 3, 1, &d);
        delivered = d;
    });
    ASSERT_TRUE(PeekUntilHandled(1));
    sender.join();
    EXPECT_TRUE(delivered.load());
    EXPECT_EQ(answer.load(), 1003);
    EXPECT_EQ(g_handled_on.load(), GetCurrentThreadId());
}

TEST_F(Win32Queue, ClosedGateReleasesTheWaitingSenderAndNeverDelivers) {
    platform::SendGate gate;
    std::atomic<bool> returned{false};
    bool delivered = true;
    std::thread sender([&] {
        gate.send(m_window, kNotify, 1, 1, &delivered);
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned.load());
    gate.close();  // the interface thread has not pumped: the send is still waiting
    sender.join();
    EXPECT_FALSE(delivered);
    PumpUntil([] { return false; }, 200ms);
    EXPECT_EQ(g_handled.load(), 0);
    EXPECT_TRUE(gate.closed());
    EXPECT_EQ(gate.send(m_window, kNotify, 1, 1, &delivered), 0);
    EXPECT_FALSE(delivered);
}

TEST_F(Win32Queue, ClosingInsideTheNotificationDoesNotDeadlock) {
    platform::SendGate gate;
    std::thread sender([&] { gate.send(m_window, kNotify, 9, 1); });
    g_gate_to_close = &gate;
    g_sender_to_join = &sender;
    ASSERT_TRUE(PeekUntilHandled(1));  // the handler closes and joins
    EXPECT_FALSE(sender.joinable());
}

TEST_F(Win32Queue, SendToAWindowDestroyedBeforeDeliveryReturns) {
    platform::SendGate gate;
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        gate.send(m_window, kNotify, 1, 1);
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    // Destroying sends messages but retrieves none: the notification is still unread.
    platform::DestroyWindow(m_window);
    const auto start = std::chrono::steady_clock::now();
    sender.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(g_handled.load(), 0);
}

TEST_F(Win32Queue, WaitForInputWakesOnAPostFromAnotherThreadAndTimesOutOtherwise) {
    HandleWaiting();  // whatever earlier windows of the thread left (a paint, a timer)
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform::MsgWaitForInput(50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 40ms);
    std::thread poster([&] {
        std::this_thread::sleep_for(50ms);
        platform::PostMessage(m_window, WM_USER, 0, 0);
    });
    EXPECT_TRUE(platform::MsgWaitForInput(5s));
    poster.join();
}

// Escape held in another program (its window takes the keyboard), a command coming meanwhile.
TEST_F(Win32Queue, EscapeHeldElsewhereCountsOnlyWithNoWindowOnScreen) {
    for (const bool on_screen : {true, false}) {
        platform::ShowWindow(m_window, on_screen ? SW_SHOWNOACTIVATE : SW_HIDE);
        std::jthread elsewhere([&] {
            platform::CreateWindowEx(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 9, 9, 0, 0);
            std::this_thread::sleep_for(200ms);
            platform::InjectKeyDown(VK_ESCAPE);
            if (on_screen) {
                platform::PostMessage(m_window, WM_USER, 0, 0);
            }
            std::this_thread::sleep_for(500ms);
            platform::InjectKeyUp(VK_ESCAPE);
        });
        bool seen = false;  // as the command loop polls: on each wake
        while (!seen && platform::MsgWaitForInput(1s)) {
            seen = (platform::GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
            HandleWaiting();
        }
        EXPECT_EQ(seen, !on_screen) << (on_screen ? "a window on the screen" : "none on it");
    }
}

TEST_F(Win32Queue, AsyncKeyStateFollowsTheKeyboardNow) {
    EXPECT_EQ(platform::GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
    platform::InjectKeyDown(VK_ESCAPE);
    EXPECT_NE(platform::GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
    platform::InjectKeyUp(VK_ESCAPE);
    EXPECT_EQ(platform::GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0);
}

TEST_F(Win32Queue, SleepPausesWithoutHandlingMessages) {
    std::thread sender([&] { platform::SendMessage(m_window, kNotify, 1, 1); });
    std::this_thread::sleep_for(20ms);
    const auto start = std::chrono::steady_clock::now();
    platform::Sleep(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
    EXPECT_EQ(g_handled.load(), 0);
    ASSERT_TRUE(PeekUntilHandled(1));
    sender.join();
}

}  // namespace
}  // namespace kadro::test
