// The program's window, built by the window layer as the program builds it, on the real
// system: a modal dialog from the in-memory template, its read-only log on the real Edit
// control, the start callback pumping with SYSREFRESH, a serial notification sent through a
// gate from another thread, and Escape ending it.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "tests/ui/ui_test_support.h"

// Last: it brings <windows.h>, whose macros take names our headers use.
#include "tests/platform/user32/win32_test_support.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;

constexpr platform::UINT kNotify = 0x0044;

// Appends a line as the command loop's MESSAGE does.
void Append(MainLike& main, const std::string& line) {
    main.view->VarPut(*main.view->VarGet() + line + "\r\n");
    main.view->Refresh();
    main.view->GoBottom();
}

// Pumps as the command loop's wait does, until `done` or the time is up.
bool PumpLikeTheCommandLoop(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        SYSREFRESH();
        platform::Sleep(1);
    }
    return true;
}

TEST(Win32LogDialog, ProgramWindowShowsTheLogAndEndsOnEscapeHeldWhileServing) {
    MainLike main;
    main.dlg->cCaption = "KADRO su COM5 - perch\xE8";
    bool visible = false;
    bool has_system_menu = true;
    bool focus_on_log = false;
    std::wstring title, shown;
    platform::RECT client{};
    bool escape_seen = false;  // still held when the window has gone
    bool hidden_after_escape = false;
    int starts = 0;
    main.run({}, [&] {
        ++starts;
        const auto dialog = reinterpret_cast<::HWND>(main.dlg->window());
        const auto edit = reinterpret_cast<::HWND>(main.view->window());
        visible = IsWindowVisible(dialog) != 0;
        has_system_menu = (GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU) != 0;
        title = WideText(dialog);
        platform::GetClientRect(main.dlg->window(), &client);
        Append(main, "Port COM5 opened");
        Append(main, "Sending sectors 0 to 17");
        shown = WideText(edit);
        // The Tab posted at initialisation moves the focus to the log once pumped.
        focus_on_log = PumpLikeTheCommandLoop([&] { return GetFocus() == edit; });
        platform::InjectKeyDown(VK_ESCAPE);
        hidden_after_escape = PumpLikeTheCommandLoop([&] { return !IsWindowVisible(dialog); });
        escape_seen = (platform::GetAsyncKeyState(VK_ESCAPE) & 0x8000) != 0;
        platform::InjectKeyUp(VK_ESCAPE);
    });
    EXPECT_EQ(starts, 1);
    EXPECT_TRUE(visible);
    EXPECT_FALSE(has_system_menu);
    EXPECT_EQ(title, L"KADRO su COM5 - perch\u00E8");
    EXPECT_GT(client.width(), 400);
    EXPECT_GT(client.height(), 400);
    EXPECT_EQ(shown, L"Port COM5 opened\r\nSending sectors 0 to 17\r\n");
    EXPECT_EQ(*main.log, "Port COM5 opened\r\nSending sectors 0 to 17\r\n");
    EXPECT_TRUE(focus_on_log);
    EXPECT_TRUE(escape_seen);
    EXPECT_TRUE(hidden_after_escape);
    EXPECT_EQ(main.dlg->nResult, DialogResult(std::intptr_t{2}));
    EXPECT_EQ(main.dlg->window(), 0u);
}

TEST(Win32LogDialog, LogRefusesTypingAndKeepsItsText) {
    MainLike main;
    std::wstring after;
    main.run({}, [&] {
        Append(main, "abc");
        const auto edit = reinterpret_cast<::HWND>(main.view->window());
        PumpLikeTheCommandLoop([&] { return GetFocus() == edit; });
        for (WPARAM c : {WPARAM{'x'}, WPARAM{'\r'}, WPARAM{22}}) {  // a letter, Enter, Ctrl+V
            SendMessageW(edit, WM_CHAR, c, 0);
        }
        SendMessageW(edit, WM_PASTE, 0, 0);
        SendMessageW(edit, WM_CLEAR, 0, 0);
        after = WideText(edit);
        main.dlg->End();
    });
    EXPECT_EQ(after, L"abc\r\n");
    EXPECT_EQ(*main.log, "abc\r\n");
}

TEST(Win32LogDialog, NotificationFromAReaderThreadRunsTheCallbackInsideSysrefresh) {
    MainLike main;
    platform::SendGate gate;
    std::atomic<DWORD> callback_thread{0};
    std::atomic<int> calls{0};
    platform::WPARAM got_wparam = 0;
    platform::LPARAM got_lparam = 0;
    main.dlg->bCommNotify = [&](platform::WPARAM w, platform::LPARAM l) -> EventResult {
        callback_thread = GetCurrentThreadId();
        got_wparam = w;
        got_lparam = l;
        ++calls;
        return {};
    };
    bool handled = false;
    main.run({}, [&] {
        std::thread reader(
            [&gate, window = main.dlg->window()] { gate.send(window, kNotify, 5, 1); });
        std::this_thread::sleep_for(50ms);
        const bool before_pump = calls.load() == 0;
        handled = before_pump && PumpLikeTheCommandLoop([&] { return calls.load() == 1; });
        reader.join();
        main.dlg->End();
    });
    EXPECT_TRUE(handled);
    EXPECT_EQ(callback_thread.load(), GetCurrentThreadId());
    EXPECT_EQ(got_wparam, 5u);
    EXPECT_EQ(got_lparam, 1);
}

}  // namespace
}  // namespace kadro::test
