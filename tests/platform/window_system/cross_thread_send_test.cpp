// Messages sent from another thread: they run only inside the owner's retrieval calls, before
// posted messages, the sender stays blocked until then, and a gate can withdraw them for good.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/message_queue.h"
#include "testing/test_window.h"

namespace kadro::test {
namespace {

using namespace platform;
using namespace std::chrono_literals;

class CrossThreadSend : public ::testing::Test {
  protected:
    void SetUp() override {
        drain_queue();
        m_window = make_recorder();
        received().clear();
    }
    void TearDown() override {
        DestroyWindow(m_window);
        drain_queue();
    }
    // Blocks until a send from another thread has reached this thread's queue.
    static void wait_for_send() { ASSERT_TRUE(MsgWaitForInput(10s)); }

    HWND m_window = 0;
};

TEST_F(CrossThreadSend, SenderWaitsUntilTheOwnerRetrievesAndGetsTheAnswer) {
    std::atomic<bool> returned{false};
    std::atomic<LRESULT> answer{0};
    std::thread sender([&] {
        answer = SendMessage(m_window, WM_COMMNOTIFY, 5, 1);
        returned = true;
    });
    wait_for_send();
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(returned) << "nothing runs the procedure outside a retrieval call";
    EXPECT_TRUE(messages_for(m_window).empty());
    dispatch_waiting();
    sender.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(answer, 77);
    ASSERT_EQ(received().size(), 1u);
    EXPECT_EQ(received()[0].wparam, 5u);
    EXPECT_EQ(received()[0].lparam, 1);
}

TEST_F(CrossThreadSend, SentMessagesAreDeliveredBeforePostedOnes) {
    std::thread sender([&] { SendMessage(m_window, WM_COMMNOTIFY, 0, 1); });
    wait_for_send();
    PostMessage(m_window, WM_USER, 0, 0);
    dispatch_waiting();
    sender.join();
    EXPECT_EQ(messages_for(m_window), (std::vector<UINT>{WM_COMMNOTIFY, WM_USER}));
}

TEST_F(CrossThreadSend, SleepingOwnerLeavesTheSenderBlockedUntilItsNextPump) {
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        SendMessage(m_window, WM_COMMNOTIFY, 0, 1);
        returned = true;
    });
    wait_for_send();
    Sleep(10);
    EXPECT_FALSE(returned);
    dispatch_waiting();
    sender.join();
    EXPECT_EQ(messages_for(m_window), (std::vector<UINT>{WM_COMMNOTIFY}));
}

TEST_F(CrossThreadSend, ClosingTheGateWithdrawsThePendingSendAndRefusesLaterOnes) {
    SendGate gate;
    bool delivered = true;
    std::thread sender([&] { gate.send(m_window, WM_COMMNOTIFY, 9, 1, &delivered); });
    wait_for_send();
    gate.close();
    sender.join();
    EXPECT_FALSE(delivered);
    dispatch_waiting();
    EXPECT_TRUE(messages_for(m_window).empty()) << "a withdrawn send never runs";

    bool later = true;
    std::thread late([&] { gate.send(m_window, WM_COMMNOTIFY, 9, 1, &later); });
    late.join();
    EXPECT_FALSE(later);
    dispatch_waiting();
    EXPECT_TRUE(messages_for(m_window).empty());
}

TEST_F(CrossThreadSend, GateSendOnTheOwnerThreadIsADirectCall) {
    SendGate gate;
    bool delivered = false;
    EXPECT_EQ(gate.send(m_window, WM_COMMNOTIFY, 1, 1, &delivered), 77);
    EXPECT_TRUE(delivered);
}

TEST_F(CrossThreadSend, ManySendsFromOneThreadArriveInOrder) {
    constexpr int kCount = 200;
    std::atomic<bool> finished{false};
    std::thread sender([&] {
        for (int i = 0; i < kCount; ++i) {
            SendMessage(m_window, WM_COMMNOTIFY, static_cast<WPARAM>(i), 1);
        }
        finished = true;
    });
    while (!finished) {
        MsgWaitForInput(10ms);
        dispatch_waiting();
    }
    sender.join();
    ASSERT_EQ(received().size(), static_cast<std::size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(received()[static_cast<std::size_t>(i)].wparam, static_cast<WPARAM>(i));
    }
}

}  // namespace
}  // namespace kadro::test
