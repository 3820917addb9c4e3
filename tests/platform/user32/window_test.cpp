// Windows, procedures and subclassing of the Win32 window system, checked against the real
// windows behind them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "platform/window.h"
#include "tests/platform/user32/win32_test_support.h"

namespace kadro::test {
namespace {

::HWND real(platform::HWND hwnd) {
    return reinterpret_cast<::HWND>(hwnd);
}

std::vector<platform::UINT>& seen() {
    static std::vector<platform::UINT> messages;
    return messages;
}

platform::LRESULT RecordingProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                platform::LPARAM lparam) {
    seen().push_back(msg);
    if (msg == WM_PAINT) {
        platform::PAINTSTRUCT ps;
        platform::BeginPaint(hwnd, &ps);
        platform::EndPaint(hwnd, &ps);
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

void EnsureRecordingClass() {
    static const bool registered = platform::RegisterClass("KadroRecording", &RecordingProc);
    ASSERT_TRUE(registered || platform::IsClassRegistered("KadroRecording"));
}

TEST(Win32Windows, ClassesRefuseTakenNamesAndRouteMessagesToOurProcedure) {
    EnsureRecordingClass();
    EXPECT_FALSE(platform::RegisterClass("KadroRecording", &RecordingProc));
    EXPECT_FALSE(platform::RegisterClass("Edit", &RecordingProc));

    seen().clear();
    platform::HWND w =
        platform::CreateWindowEx(0, "KadroRecording", "x", WS_OVERLAPPED, 10, 10, 200, 100, 0, 0);
    ASSERT_NE(w, 0u);
    EXPECT_NE(std::find(seen().begin(), seen().end(), WM_CREATE), seen().end());
    EXPECT_EQ(platform::GetClassName(w), "KadroRecording");

    platform::ShowWindow(w, SW_SHOW);
    platform::InvalidateRect(w, true);
    EXPECT_TRUE(platform::NeedsPaint(w));
    seen().clear();
    platform::UpdateWindow(w);
    EXPECT_NE(std::find(seen().begin(), seen().end(), WM_PAINT), seen().end());
    EXPECT_FALSE(platform::NeedsPaint(w));

    EXPECT_TRUE(platform::DestroyWindow(w));
    EXPECT_FALSE(platform::IsWindow(w));
    EXPECT_EQ(platform::GetWindowProc(w), nullptr);
}

TEST(Win32Windows, TextCrossesTheBoundaryInTheAnsiCodePage) {
    EnsureRecordingClass();
    platform::HWND w =
        platform::CreateWindowEx(0, "KadroRecording", "", WS_OVERLAPPED, 0, 0, 100, 100, 0, 0);
    ASSERT_NE(w, 0u);
    const std::string caption = "Perch\xE8 \x80";  // è and the euro sign in Windows-1252
    ASSERT_TRUE(platform::SetWindowText(w, caption));
    EXPECT_EQ(WideText(real(w)), std::wstring(L"Perch\u00E8 \u20AC"));
    EXPECT_EQ(platform::GetWindowText(w), caption);
    EXPECT_EQ(platform::GetWindowTextLength(w), static_cast<int>(caption.size()));
    // Text with a character the code page cannot hold comes back in UTF-8, and goes back whole.
    SetWindowTextW(real(w), L"\u0416 \u00E8");
    EXPECT_EQ(platform::GetWindowText(w), "\xD0\x96 \xC3\xA8");
    ASSERT_TRUE(platform::SetWindowText(w, platform::GetWindowText(w)));
    EXPECT_EQ(WideText(real(w)), std::wstring(L"\u0416 \u00E8"));
    platform::DestroyWindow(w);
}

TEST(Win32Windows, ChildrenComeInCreationOrderAndKeepTheirIdentifiers) {
    EnsureRecordingClass();
    platform::HWND parent =
        platform::CreateWindowEx(0, "KadroRecording", "", WS_OVERLAPPED, 0, 0, 300, 300, 0, 0);
    ASSERT_NE(parent, 0u);
    std::vector<platform::HWND> made;
    for (int id : {101, 102, 103}) {
        made.push_back(
            platform::CreateWindowEx(0, "Static", "s", WS_CHILD, 0, id, 50, 10, parent, id));
        ASSERT_NE(made.back(), 0u);
    }
    EXPECT_EQ(platform::GetChildren(parent), made);
    EXPECT_EQ(platform::GetDlgItem(parent, 102), made[1]);
    EXPECT_EQ(platform::GetDlgCtrlID(made[2]), 103);
    EXPECT_EQ(platform::GetParent(made[0]), parent);
    platform::RECT r;
    ASSERT_TRUE(platform::GetClientRect(made[0], &r));
    EXPECT_EQ(r, (platform::RECT{0, 0, 50, 10}));
    platform::DestroyWindow(parent);
    EXPECT_FALSE(platform::IsWindow(made[0]));
}

TEST(Win32Windows, StaticIconNamedByOrdinalShowsTheSystemIcon) {
    EnsureRecordingClass();
    platform::HWND parent =
        platform::CreateWindowEx(0, "KadroRecording", "", WS_OVERLAPPED, 0, 0, 100, 100, 0, 0);
    ASSERT_NE(parent, 0u);
    platform::HWND icon = platform::CreateWindowEx(0, "Static", "#32515", WS_CHILD | SS_ICON, 8, 7,
                                                   32, 32, parent, -1);
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(real(icon), STM_GETICON, 0, 0)),
              LoadIconW(nullptr, MAKEINTRESOURCEW(32515)));
    platform::DestroyWindow(parent);
}

// ---- subclassing a real control ----

platform::WNDPROC g_edit_before = nullptr;
int g_swallowed = 0;

platform::LRESULT SwallowDigits(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                platform::LPARAM lparam) {
    if (msg == WM_CHAR && wparam >= '0' && wparam <= '9') {
        ++g_swallowed;
        return 0;
    }
    if (msg == WM_DESTROY) {
        // Gives the procedure back in the middle of a message, as the window layer does.
        platform::SetWindowProc(hwnd, g_edit_before);
    }
    return platform::CallWindowProc(g_edit_before, hwnd, msg, wparam, lparam);
}

TEST(Win32Windows, SubclassedEditKeepsItsOwnProcedureBehindOurs) {
    platform::HWND edit =
        platform::CreateWindowEx(0, "Edit", "", WS_OVERLAPPED, 0, 0, 200, 40, 0, 0);
    ASSERT_NE(edit, 0u);
    const LONG_PTR native_proc = GetWindowLongPtrW(real(edit), GWLP_WNDPROC);
    g_swallowed = 0;
    g_edit_before = platform::SetWindowProc(edit, &SwallowDigits);
    ASSERT_NE(g_edit_before, nullptr);
    EXPECT_EQ(platform::GetWindowProc(edit), &SwallowDigits);

    for (char c : std::string("a1b2")) {
        platform::SendMessage(edit, WM_CHAR, static_cast<unsigned char>(c), 0);
    }
    EXPECT_EQ(platform::GetWindowText(edit), "ab");
    EXPECT_EQ(g_swallowed, 2);

    // Restoring gives the window its real procedure back.
    EXPECT_EQ(platform::SetWindowProc(edit, g_edit_before), &SwallowDigits);
    EXPECT_EQ(GetWindowLongPtrW(real(edit), GWLP_WNDPROC), native_proc);
    platform::SendMessage(edit, WM_CHAR, '3', 0);
    EXPECT_EQ(platform::GetWindowText(edit), "ab3");

    // Subclassed again and destroyed: the handler restores during WM_DESTROY, then passes the
    // message on to the procedure it just put back.
    g_edit_before = platform::SetWindowProc(edit, &SwallowDigits);
    EXPECT_TRUE(platform::DestroyWindow(edit));
    EXPECT_FALSE(platform::IsWindow(edit));
}

TEST(Win32Windows, UserDataAndStyleAreTheRealWindowsOwn) {
    platform::HWND edit =
        platform::CreateWindowEx(0, "Edit", "", WS_OVERLAPPED | ES_MULTILINE, 0, 0, 200, 40, 0, 0);
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(platform::SetWindowLongPtr(edit, GWLP_USERDATA, 7), 0);
    EXPECT_EQ(GetWindowLongPtrW(real(edit), GWLP_USERDATA), 7);
    EXPECT_NE(platform::GetWindowLongPtr(edit, GWL_STYLE) & ES_MULTILINE, 0);
    platform::DestroyWindow(edit);
    EXPECT_EQ(platform::GetWindowLongPtr(edit, GWLP_USERDATA), 0);
}

}  // namespace
}  // namespace kadro::test
