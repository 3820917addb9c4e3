#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/clipboard.h"
#include "platform/edit_control.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"

namespace kadro::test {
namespace {

using namespace platform;

constexpr int kId = 101;
// Client width 80 px (10 headless cells) and height 64 px (4 lines): the border takes 1 px each
// side and the vertical bar its width.
constexpr int kWidth = 80 + 2 + kScrollBarWidth;
constexpr int kHeight = 64 + 2;
constexpr DWORD kLogStyle =
    WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN | WS_BORDER | WS_VSCROLL | WS_TABSTOP;

std::vector<WORD> g_notifications;

LRESULT parent_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_COMMAND && LOWORD(wparam) == kId) {
        g_notifications.push_back(HIWORD(wparam));
    }
    return DefWindowProc(hwnd, msg, wparam, lparam);
}

class EditControl : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterClass("EditTestParent", parent_proc);
        m_parent =
            CreateWindowEx(0, "EditTestParent", "", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, 0, 0);
        g_notifications.clear();
        EmptyClipboard();
    }
    void TearDown() override {
        SetAsyncKeyState(VK_SHIFT, false);
        DestroyWindow(m_parent);
    }

    HWND make(DWORD style, std::string_view text = "") {
        HWND edit = CreateWindowEx(0, "Edit", text, style, 0, 0, kWidth, kHeight, m_parent, kId);
        EXPECT_NE(edit, 0u);
        g_notifications.clear();
        return edit;
    }
    static LRESULT send(HWND h, UINT msg, WPARAM w = 0, LPARAM l = 0) {
        return SendMessage(h, msg, w, l);
    }
    static std::pair<int, int> selection(HWND h) {
        DWORD start = 0;
        DWORD end = 0;
        auto packed = static_cast<std::uintptr_t>(
            send(h, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end)));
        EXPECT_EQ(LOWORD(packed), static_cast<WORD>(start));
        EXPECT_EQ(HIWORD(packed), static_cast<WORD>(end));
        return {static_cast<int>(start), static_cast<int>(end)};
    }
    static int count_changes() {
        int n = 0;
        for (WORD code : g_notifications) {
            n += code == EN_CHANGE ? 1 : 0;
        }
        return n;
    }

    HWND m_parent = 0;
};

TEST_F(EditControl, SetTextReportsTheChangeAndKeepsTheStoredTextEqual) {
    HWND edit = make(kLogStyle | ES_READONLY);
    EXPECT_TRUE(SetWindowText(edit, "abc\r\n"));
    EXPECT_EQ(count_changes(), 1);
    EXPECT_EQ(GetWindowText(edit), "abc\r\n");
    EXPECT_EQ(GetStoredWindowText(edit), "abc\r\n");
    EXPECT_EQ(GetWindowTextLength(edit), 5);
    EXPECT_EQ(GetClassName(edit), "Edit");
    EXPECT_EQ(send(edit, WM_GETDLGCODE),
              DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS | DLGC_WANTALLKEYS);
}

TEST_F(EditControl, ReadOnlyRefusesEveryChangeButCopies) {
    HWND edit = make(kLogStyle | ES_READONLY, "hello world");
    SetClipboardText("zzz");
    send(edit, EM_SETSEL, 0, 5);
    send(edit, WM_CHAR, 'x');
    send(edit, WM_CHAR, VK_RETURN);
    send(edit, WM_CHAR, VK_TAB);
    send(edit, WM_CHAR, VK_BACK);
    send(edit, WM_KEYDOWN, VK_DELETE);
    send(edit, WM_CUT);
    send(edit, WM_PASTE);
    send(edit, WM_CLEAR);
    send(edit, WM_CHAR, 24);  // Ctrl+X
    send(edit, WM_CHAR, 22);  // Ctrl+V
    send(edit, WM_CHAR, 26);  // Ctrl+Z
    EXPECT_EQ(send(edit, EM_UNDO), 0);
    EXPECT_EQ(send(edit, WM_UNDO), 0);
    EXPECT_EQ(GetWindowText(edit), "hello world");
    EXPECT_EQ(count_changes(), 0);
    EXPECT_EQ(GetClipboardText(), "zzz") << "a refused cut copies nothing";

    send(edit, WM_CHAR, 3);  // Ctrl+C
    EXPECT_EQ(GetClipboardText(), "hello");
    send(edit, EM_SETSEL, 6, -1);
    send(edit, WM_COPY);
    EXPECT_EQ(GetClipboardText(), "world");
    send(edit, WM_CHAR, 1);  // Ctrl+A
    EXPECT_EQ(selection(edit), (std::pair{0, 11}));

    // The same requests change a writable control, so the refusals above are read-only's.
    EXPECT_EQ(send(edit, EM_SETREADONLY, 0), 1);
    EXPECT_EQ(GetWindowLongPtr(edit, GWL_STYLE) & ES_READONLY, 0);
    send(edit, EM_SETSEL, 0, 5);
    send(edit, WM_CUT);
    EXPECT_EQ(GetWindowText(edit), " world");
    EXPECT_EQ(GetClipboardText(), "hello");
    send(edit, WM_CHAR, 'x');
    send(edit, WM_CHAR, 'y');
    EXPECT_EQ(GetWindowText(edit), "xy world");
    send(edit, WM_CHAR, VK_BACK);
    send(edit, WM_KEYDOWN, VK_DELETE);
    EXPECT_EQ(GetWindowText(edit), "xworld");
    send(edit, WM_CHAR, VK_RETURN);
    EXPECT_EQ(GetWindowText(edit), "x\r\nworld");
    EXPECT_EQ(send(edit, EM_UNDO), 1);
    EXPECT_EQ(GetWindowText(edit), "xworld");
    send(edit, WM_PASTE);
    EXPECT_EQ(GetWindowText(edit), "xhelloworld");
    send(edit, WM_CHAR, VK_TAB);
    EXPECT_EQ(GetWindowText(edit), "xhello\tworld");
    EXPECT_EQ(GetStoredWindowText(edit), "xhello\tworld");
    EXPECT_EQ(count_changes(), 9);
}

TEST_F(EditControl, TypingRespectsTheLimitButSetTextDoesNot) {
    HWND edit = make(kLogStyle);
    send(edit, EM_LIMITTEXT, 3);
    for (char c : std::string("abcd")) {
        send(edit, WM_CHAR, static_cast<WPARAM>(c));
    }
    EXPECT_EQ(GetWindowText(edit), "abc");
    EXPECT_NE(std::find(g_notifications.begin(), g_notifications.end(), EN_MAXTEXT),
              g_notifications.end());
    SetWindowText(edit, "longer than three");
    EXPECT_EQ(GetWindowText(edit), "longer than three");
    send(edit, EM_LIMITTEXT, 0);
    send(edit, EM_SETSEL, 0, 0);
    send(edit, WM_CHAR, '>');
    EXPECT_EQ(GetWindowText(edit), ">longer than three");
}

TEST_F(EditControl, WrapsAtTheClientWidth) {
    HWND edit = make(kLogStyle | ES_READONLY, "aaaa bbbb cccc");
    EXPECT_EQ(send(edit, EM_GETLINECOUNT), 2);
    EXPECT_EQ(send(edit, EM_LINEINDEX, 1), 10) << "breaks after the blank";

    SetWindowText(edit, "abcdefghijklmnop\r\nxy");
    EXPECT_EQ(send(edit, EM_GETLINECOUNT), 3);
    EXPECT_EQ(send(edit, EM_LINEINDEX, 1), 10) << "a word wider than the line is cut";
    EXPECT_EQ(send(edit, EM_LINEINDEX, 2), 18);
    EXPECT_EQ(send(edit, EM_LINEINDEX, 3), -1);
    EXPECT_EQ(send(edit, EM_LINEFROMCHAR, 17), 1);
    EXPECT_EQ(send(edit, EM_LINELENGTH, 12), 6);

    EditSnapshot snapshot;
    ASSERT_TRUE(GetEditSnapshot(edit, &snapshot));
    EXPECT_EQ(snapshot.line_starts, (std::vector<std::size_t>{0, 10, 18}));
    EXPECT_EQ(snapshot.line_height, 16);
    EXPECT_TRUE(snapshot.read_only);

    MoveWindow(edit, 0, 0, kWidth + 80, kHeight, true);
    EXPECT_EQ(send(edit, EM_GETLINECOUNT), 2) << "wider now: only the hard break is left";
}

TEST_F(EditControl, SetSelectionClampsAndGetSelectionReportsBothWays) {
    HWND edit = make(kLogStyle | ES_READONLY, "abc");
    send(edit, EM_SETSEL, 1, 100);
    EXPECT_EQ(selection(edit), (std::pair{1, 3}));
    send(edit, EM_SETSEL, 2, -1);
    EXPECT_EQ(selection(edit), (std::pair{2, 3}));
    send(edit, EM_SETSEL, 3, 1);
    EXPECT_EQ(selection(edit), (std::pair{1, 3}));
    send(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);
    EXPECT_EQ(selection(edit), (std::pair{1, 1})) << "-1 drops the selection, the caret stays";
    send(edit, EM_SETSEL, 0, -1);
    EXPECT_EQ(selection(edit), (std::pair{0, 3}));
}

TEST_F(EditControl, AppendedLineLeavesTheCaretAtTheEndAndScrollsToTheLastLine) {
    HWND edit = make(kLogStyle | ES_READONLY);
    SetWindowText(edit, "abc\r\n");
    const auto n = static_cast<WPARAM>(GetWindowTextLength(edit) + 1);
    send(edit, EM_SETSEL, n, static_cast<LPARAM>(n));
    EXPECT_EQ(selection(edit), (std::pair{5, 5}));
    LRESULT lines = send(edit, EM_GETLINECOUNT);
    EXPECT_EQ(lines, 2);
    EXPECT_EQ(send(edit, EM_LINESCROLL, 0, lines), 1);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 0) << "both lines fit: nothing to scroll";
    send(edit, EM_LINESCROLL, 0, -5);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 0);

    SetWindowText(edit, "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7");
    send(edit, WM_VSCROLL, SB_LINEDOWN);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 1);
    send(edit, WM_VSCROLL, SB_PAGEUP);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 0);
    send(edit, WM_VSCROLL, SB_PAGEDOWN);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 3)
        << "a page is the 4 visible lines, and the last page stays full";
    send(edit, WM_VSCROLL, MAKELONG(SB_THUMBTRACK, 2));
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 2);
    send(edit, EM_LINESCROLL, 0, 100);
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 3) << "no further than the last full page";
    SetWindowText(edit, "x");
    EXPECT_EQ(send(edit, EM_GETFIRSTVISIBLELINE), 0) << "new text shows from its first line";
}

TEST_F(EditControl, CharFromPositionCountsFromTheFirstVisibleLine) {
    HWND edit = make(kLogStyle | ES_READONLY, "hello\r\nworld\r\nthird");
    auto at = [&](int x, int y) {
        return static_cast<std::uintptr_t>(send(edit, EM_CHARFROMPOS, 0, MAKELPARAM(x, y)));
    };
    EXPECT_EQ(at(19, 20), MAKELONG(9, 1)) << "x 19 is left of the middle of the third cell";
    EXPECT_EQ(at(21, 20), MAKELONG(10, 1));
    EXPECT_EQ(at(500, 0), MAKELONG(5, 0)) << "beyond a line's end: its end";
    EXPECT_EQ(at(0, 500), MAKELONG(14, 2)) << "below the text: the last line";
    SetWindowText(edit, "hello\r\nworld\r\nthird\r\nfour\r\nfive");
    send(edit, EM_LINESCROLL, 0, 1);
    EXPECT_EQ(at(0, 0), MAKELONG(7, 1)) << "the view starts at the second line";
}

TEST_F(EditControl, KeysAndMouseMoveTheCaretAndSelect) {
    HWND edit = make(kLogStyle | ES_READONLY, "ab\r\ncdef");
    send(edit, EM_SETSEL, 2, 2);
    send(edit, WM_KEYDOWN, VK_RIGHT);
    EXPECT_EQ(selection(edit), (std::pair{4, 4})) << "CR LF is passed as one step";
    send(edit, WM_KEYDOWN, VK_END);
    EXPECT_EQ(selection(edit), (std::pair{8, 8}));
    SetAsyncKeyState(VK_SHIFT, true);
    send(edit, WM_KEYDOWN, VK_UP);
    SetAsyncKeyState(VK_SHIFT, false);
    EXPECT_EQ(selection(edit), (std::pair{2, 8})) << "Up keeps the column as far as it can";
    send(edit, WM_KEYDOWN, VK_HOME);
    EXPECT_EQ(selection(edit), (std::pair{0, 0}));

    send(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(8, 16));
    EXPECT_EQ(GetFocus(), edit);
    send(edit, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(24, 16));
    send(edit, WM_LBUTTONUP, 0, MAKELPARAM(24, 16));
    send(edit, WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
    EXPECT_EQ(selection(edit), (std::pair{5, 7}));
    EXPECT_EQ(std::count(g_notifications.begin(), g_notifications.end(), EN_SETFOCUS), 1);
    SetFocus(0);
    EXPECT_EQ(std::count(g_notifications.begin(), g_notifications.end(), EN_KILLFOCUS), 1);
}

}  // namespace
}  // namespace kadro::test
