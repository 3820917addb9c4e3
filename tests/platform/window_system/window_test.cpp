// The window system on one thread: posting and retrieval order, paint generation, translation,
// destruction order, geometry and focus.

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "testing/test_window.h"

namespace kadro::test {
namespace {

using namespace platform;

class WindowSystem : public ::testing::Test {
  protected:
    void SetUp() override {
        drain_queue();
        received().clear();
    }
    void TearDown() override {
        for (HWND h : GetTopLevelWindows()) {
            DestroyWindow(h);
        }
        drain_queue();
        SetAsyncKeyState(VK_MENU, false);
        SetAsyncKeyState(VK_F4, false);
    }
};

TEST_F(WindowSystem, PostedMessagesComeInOrderAndPaintOnlyWhenNothingElseWaits) {
    HWND w = make_recorder();
    ShowWindow(w, SW_SHOW);
    PostMessage(w, WM_USER + 1, 0, 0);
    PostMessage(w, WM_USER + 2, 0, 0);
    MSG msg;
    std::vector<UINT> order;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        order.push_back(msg.message);
        DispatchMessage(&msg);
    }
    ASSERT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_PAINT}));
    EXPECT_FALSE(NeedsPaint(w)) << "DefWindowProc validates a painted window";
}

TEST_F(WindowSystem, HiddenWindowsGetNoPaintAndShowingInvalidatesTheirChildren) {
    HWND parent = make_recorder();
    HWND child = make_recorder(WS_CHILD | WS_VISIBLE, parent);
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) << "nothing painted while hidden";
    ShowWindow(parent, SW_SHOW);
    std::vector<HWND> painted;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        ASSERT_EQ(msg.message, WM_PAINT);
        painted.push_back(msg.hwnd);
        DispatchMessage(&msg);
    }
    EXPECT_EQ(painted, (std::vector<HWND>{parent, child}));
}

TEST_F(WindowSystem, PeekWithoutRemoveLeavesTheMessageAndFiltersSelect) {
    HWND a = make_recorder();
    HWND b = make_recorder();
    PostMessage(a, WM_USER, 1, 0);
    PostMessage(b, WM_USER, 2, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, b, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
}

TEST_F(WindowSystem, QuitIsQueuedBehindEarlierMessagesAndEndsGetMessage) {
    HWND w = make_recorder();
    PostMessage(w, WM_USER, 0, 0);
    PostQuitMessage(3);
    PostMessage(w, WM_USER + 1, 0, 0);
    MSG msg;
    ASSERT_TRUE(GetMessage(&msg, 0, 0, 0));
    EXPECT_EQ(msg.message, WM_USER);
    EXPECT_FALSE(GetMessage(&msg, 0, 0, 0));
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) << "messages behind the quit stay";
    EXPECT_EQ(msg.message, WM_USER + 1);
}

TEST_F(WindowSystem, KeyDownIsTranslatedIntoACharacterThatComesNext) {
    HWND w = make_recorder();
    SetFocus(w);
    InjectKeyDown('A', 'a');
    InjectKeyUp('A');
    MSG msg;
    std::vector<UINT> order;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        order.push_back(msg.message);
        TranslateMessage(&msg);
    }
    EXPECT_EQ(order, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

TEST_F(WindowSystem, AltF4BecomesTheCloseSystemCommandAndThenTheCloseMessage) {
    HWND w = make_recorder();
    ShowWindow(w, SW_SHOW);
    SetFocus(w);
    SetAsyncKeyState(VK_MENU, true);
    InjectKeyDown(VK_F4);
    MSG msg;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    auto seen = messages_for(w);
    auto at = [&](UINT m) { return std::find(seen.begin(), seen.end(), m) - seen.begin(); };
    ASSERT_LT(at(WM_SYSKEYDOWN), at(WM_SYSCOMMAND));
    ASSERT_LT(at(WM_SYSCOMMAND), at(WM_CLOSE));
    EXPECT_FALSE(IsWindow(w)) << "a plain window's default close destroys it";
}

TEST_F(WindowSystem, DestroyTellsTheParentBeforeItsChildrenAndForgetsThem) {
    HWND parent = make_recorder();
    HWND child = make_recorder(WS_CHILD, parent);
    HWND grandchild = make_recorder(WS_CHILD, child);
    received().clear();
    ASSERT_TRUE(DestroyWindow(parent));
    std::vector<HWND> destroyed;
    for (const auto& r : received()) {
        if (r.message == WM_DESTROY) {
            destroyed.push_back(r.hwnd);
        }
    }
    EXPECT_EQ(destroyed, (std::vector<HWND>{parent, child, grandchild}));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(DestroyWindow(parent));
}

TEST_F(WindowSystem, FocusChangeSendsKillThenSetWithEachOthersHandle) {
    HWND a = make_recorder();
    HWND b = make_recorder();
    SetFocus(a);
    received().clear();
    EXPECT_EQ(SetFocus(b), a);
    ASSERT_EQ(received().size(), 2u);
    EXPECT_EQ(received()[0].message, WM_KILLFOCUS);
    EXPECT_EQ(received()[0].wparam, b);
    EXPECT_EQ(received()[1].message, WM_SETFOCUS);
    EXPECT_EQ(received()[1].wparam, a);
    DestroyWindow(b);
    EXPECT_EQ(GetFocus(), 0u) << "destroying the focus window leaves no focus behind";
}

TEST_F(WindowSystem, CaptionedWindowsAndBorderedChildrenHaveTheirFrameOutsideTheClientArea) {
    RECT want_client{0, 0, 502, 502};
    RECT outer = AdjustWindowRect(want_client, 0, false);
    HWND top = make_recorder(0);
    MoveWindow(top, 100, 50, outer.width(), outer.height(), false);
    RECT client;
    GetClientRect(top, &client);
    EXPECT_EQ(client, want_client);
    HWND child = make_recorder(WS_CHILD | WS_BORDER | WS_VSCROLL, top);
    MoveWindow(child, -1, -1, 504, 505, false);
    GetClientRect(child, &client);
    EXPECT_EQ(client.width(), 504 - 2 - kScrollBarWidth);
    EXPECT_EQ(client.height(), 505 - 2);
    RECT child_screen;
    GetWindowRect(child, &child_screen);
    EXPECT_EQ(child_screen.left, 100 + kFrameWidth - 1);
    EXPECT_EQ(child_screen.top, 50 + kFrameWidth + kCaptionHeight - 1);
}

TEST_F(WindowSystem, SubclassingReturnsThePreviousProcedureWhichCanStillBeCalled) {
    HWND w = make_recorder();
    static WNDPROC previous = nullptr;
    static int swallowed = 0;
    previous = SetWindowProc(w, [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
        if (m == WM_USER) {
            ++swallowed;
            return 5;
        }
        return CallWindowProc(previous, h, m, wp, lp);
    });
    ASSERT_EQ(previous, &recorder_proc);
    received().clear();
    EXPECT_EQ(SendMessage(w, WM_USER, 0, 0), 5);
    EXPECT_EQ(SendMessage(w, WM_COMMNOTIFY, 0, 0), 77);
    EXPECT_EQ(swallowed, 1);
    EXPECT_EQ(messages_for(w), (std::vector<UINT>{WM_COMMNOTIFY}));
}

TEST_F(WindowSystem, TextGoesThroughTheWindowProcedure) {
    HWND w = make_recorder();
    ASSERT_TRUE(SetWindowText(w, "KADRO"));
    EXPECT_EQ(GetWindowText(w), "KADRO");
    EXPECT_EQ(GetWindowTextLength(w), 5);
    auto seen = messages_for(w);
    EXPECT_NE(std::find(seen.begin(), seen.end(), WM_SETTEXT), seen.end());
}

TEST_F(WindowSystem, AsyncKeyStateIsTheStateNowNotAHistory) {
    SetAsyncKeyState(VK_ESCAPE, true);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0x8000);
    SetAsyncKeyState(VK_ESCAPE, false);
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    EXPECT_EQ(GetAsyncKeyState(300), 0) << "out-of-range codes are never down";
}

// The command loop looks at the key, then waits: a key that changes in between (set by another
// thread, or by the display while the wait starts) must end that wait, or the loop sleeps
// through the press. Once the loop has looked again, nothing new is waiting.
TEST_F(WindowSystem, AKeyChangedSinceTheThreadLastLookedEndsTheWait) {
    ASSERT_EQ(GetAsyncKeyState(VK_ESCAPE), 0);
    SetAsyncKeyState(VK_ESCAPE, true);
    EXPECT_TRUE(MsgWaitForInput(std::chrono::milliseconds(200)));
    EXPECT_EQ(GetAsyncKeyState(VK_ESCAPE) & 0x8000, 0x8000);
    EXPECT_FALSE(MsgWaitForInput(std::chrono::milliseconds(1)));
    SetAsyncKeyState(VK_ESCAPE, false);
}

}  // namespace
}  // namespace kadro::test
