#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "testing/headless_test_display.h"

namespace kadro::test {
namespace {

using namespace platform;

constexpr UINT kNotify = WM_COMMNOTIFY;
std::atomic<int> g_delivered{0};
std::thread::id g_handler_thread;

LRESULT receiver_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == kNotify) {
        g_handler_thread = std::this_thread::get_id();
        ++g_delivered;
        return 42;
    }
    return DefWindowProc(hwnd, msg, wparam, lparam);
}

// A serial notification sent by a reader thread reaches its window while a message box waits
// for an answer, and the box is answered only after the send came back: a box whose loop did
// not deliver sent messages would never be answered and the test would not finish.
TEST(MessageBoxConcurrency, DeliversASendFromAnotherThreadWhileUp) {
    ScopedTestDisplay display;
    RegisterClass("ConcurrencyReceiver", receiver_proc);
    HWND receiver = CreateWindowEx(0, "ConcurrencyReceiver", "", WS_POPUP, 0, 0, 10, 10, 0, 0);
    ASSERT_NE(receiver, 0u);
    LRESULT answer = 0;
    std::jthread reader;
    display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        reader = std::jthread([&answer, receiver, box] {
            answer = SendMessage(receiver, kNotify, 0x1234, 1);
            PostMessage(box, WM_COMMAND, IDOK, 0);
        });
    }));
    EXPECT_EQ(MessageBox(0, "waiting", "t", MB_OKCANCEL), IDOK);
    reader.join();
    EXPECT_EQ(answer, 42);
    EXPECT_EQ(g_delivered.load(), 1);
    EXPECT_EQ(g_handler_thread, std::this_thread::get_id());
    DestroyWindow(receiver);
}

}  // namespace
}  // namespace kadro::test
