// The progress bar on Windows is the system's common control: it has to be there, and to answer
// the range and position messages the way the wait box relies on.

#include <gtest/gtest.h>

#include "platform/message_queue.h"
#include "platform/progress_control.h"
#include "platform/window.h"
#include "tests/platform/user32/win32_test_support.h"

namespace kadro::test {
namespace {

platform::LRESULT send(platform::HWND bar, platform::UINT msg, platform::WPARAM wparam,
                       platform::LPARAM lparam = 0) {
    return platform::SendMessage(bar, msg, wparam, lparam);
}

TEST(Win32ProgressBar, TheSystemControlKeepsItsPositionInsideTheRange) {
    ASSERT_TRUE(platform::EnsureProgressControlClass());
    platform::HWND bar =
        platform::CreateWindowEx(0, platform::PROGRESS_CLASS, "", WS_POPUP, 0, 0, 200, 20, 0, 0);
    ASSERT_NE(bar, 0u);

    send(bar, platform::PBM_SETRANGE32, 5, 50);
    EXPECT_EQ(send(bar, platform::PBM_GETRANGE, 1), 5) << "wParam not 0 asks for the low end";
    EXPECT_EQ(send(bar, platform::PBM_GETRANGE, 0), 50);

    send(bar, platform::PBM_SETPOS, 20);
    EXPECT_EQ(send(bar, platform::PBM_SETPOS, 30), 20) << "the previous position comes back";
    EXPECT_EQ(send(bar, platform::PBM_GETPOS, 0), 30);
    send(bar, platform::PBM_SETPOS, 80);
    EXPECT_EQ(send(bar, platform::PBM_GETPOS, 0), 50);
    send(bar, platform::PBM_SETPOS, 1);
    EXPECT_EQ(send(bar, platform::PBM_GETPOS, 0), 5);

    // Showing the bar full: past the end on a wider range, then the range narrowed back.
    send(bar, platform::PBM_SETRANGE32, 5, 51);
    send(bar, platform::PBM_SETPOS, 51);
    send(bar, platform::PBM_SETRANGE32, 5, 50);
    EXPECT_EQ(send(bar, platform::PBM_GETPOS, 0), 50) << "narrowing pulls the position in";

    EXPECT_TRUE(platform::DestroyWindow(bar));
}

}  // namespace
}  // namespace kadro::test
