// The pump a long-running loop calls: quit handling with the main-loop flag, the last
// character, accelerators, key polling and pauses.

#include <gtest/gtest.h>

#include <chrono>

#include "platform/message_queue.h"
#include "platform/window_system/window_system.h"
#include "testing/test_window.h"
#include "ui/message_pump.h"
#include "ui/window_layer_state.h"

namespace kadro::test {
namespace {

using namespace platform;

class MessagePump : public ::testing::Test {
  protected:
    void SetUp() override {
        drain_queue();
        received().clear();
        WindowLayer().main_loop = false;
    }
    void TearDown() override {
        for (HWND h : GetTopLevelWindows()) {
            DestroyWindow(h);
        }
        drain_queue();
        WindowLayer().main_loop = false;
        WindowLayer().accelerators = nullptr;
        WindowLayer().main_window = 0;
    }
};

TEST_F(MessagePump, EmptyQueueReturnsTrueAtOnce) {
    EXPECT_TRUE(SYSREFRESH());
}

TEST_F(MessagePump, QuitStopsThePumpAndIsConsumedWhenNoMainLoopRuns) {
    HWND w = make_recorder();
    PostMessage(w, WM_USER, 0, 0);
    PostQuitMessage(0);
    PostMessage(w, WM_USER + 1, 0, 0);
    EXPECT_FALSE(SYSREFRESH());
    EXPECT_EQ(messages_for(w), (std::vector<UINT>{WM_USER})) << "only what came before the quit";
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_USER + 1);
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) << "no quit message posted again";
}

TEST_F(MessagePump, QuitIsPostedAgainWhileTheMainLoopFlagIsOn) {
    WindowLayer().main_loop = true;
    PostQuitMessage(0);
    EXPECT_FALSE(SYSREFRESH());
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.message, WM_QUIT) << "so that the enclosing loop ends too";
}

TEST_F(MessagePump, DispatchesTranslatedKeysAndRemembersTheLastCharacter) {
    HWND w = make_recorder();
    SetFocus(w);
    InjectKeyDown('Q', 'q');
    EXPECT_TRUE(SYSREFRESH());
    EXPECT_EQ(messages_for(w).back(), WM_CHAR);
    EXPECT_EQ(WindowLayer().last_character, 'q');
}

TEST_F(MessagePump, AcceleratorsWorkForTheMainWindowButNotInsideANestedPump) {
    HWND main = make_recorder();
    static AcceleratorTable table{{VK_F1, 0, 42}};
    WindowLayer().accelerators = &table;
    WindowLayer().main_window = main;
    SetFocus(main);
    InjectKeyDown(VK_F1);
    EXPECT_TRUE(SYSREFRESH());
    bool command_seen = false;
    for (const auto& r : received()) {
        command_seen = command_seen || (r.message == WM_COMMAND && LOWORD(r.wparam) == 42);
    }
    EXPECT_TRUE(command_seen);
    EXPECT_EQ(WindowLayer().accelerators, &table) << "the table is put back after the pump";
}

TEST_F(MessagePump, KeyPollingSeesOnlyAKeyHeldAtTheMomentOfThePoll) {
    HWND w = make_recorder();
    SetFocus(w);
    // Escape (27) and F4 (115), the keys the program polls, by both names.
    InjectKeyDown(VK_ESCAPE, 27);
    EXPECT_TRUE(GETASYNCKEYSTATE(27)) << "down before its key message was handled";
    EXPECT_TRUE(GETASYNCKEY(27));
    EXPECT_FALSE(GETASYNCKEYSTATE(115));
    InjectKeyUp(VK_ESCAPE);
    EXPECT_FALSE(GETASYNCKEYSTATE(27));
    EXPECT_FALSE(GETASYNCKEY(27));

    // A press and release between two polls is not seen, though its messages wait in the queue.
    InjectKeyDown(VK_F4);
    InjectKeyUp(VK_F4);
    EXPECT_FALSE(GETASYNCKEYSTATE(115));
    EXPECT_FALSE(GETASYNCKEY(115));
    EXPECT_TRUE(SYSREFRESH());
    EXPECT_FALSE(GETASYNCKEYSTATE(115));
}

TEST_F(MessagePump, SleepHandlesNoMessage) {
    HWND w = make_recorder();
    PostMessage(w, WM_USER, 0, 0);
    SLEEP(10);
    EXPECT_TRUE(messages_for(w).empty());
    SYSREFRESH();
    EXPECT_EQ(messages_for(w), (std::vector<UINT>{WM_USER}));
}

TEST_F(MessagePump, WaitForInputReturnsWhenAMessageIsPostedAndOtherwiseTimesOut) {
    HWND w = make_recorder();
    PostMessage(w, WM_USER, 0, 0);
    EXPECT_TRUE(MsgWaitForInput(std::chrono::seconds(5)));
    drain_queue();
    EXPECT_FALSE(MsgWaitForInput(std::chrono::milliseconds(1)));
}

}  // namespace
}  // namespace kadro::test
