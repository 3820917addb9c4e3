// The read-only log view: refusals, copying, appending a line, writing the text back.

#include "platform/clipboard.h"
#include "platform/edit_control.h"
#include "platform/window_system/window_system.h"
#include "tests/ui/ui_test_support.h"

namespace kadro::test {
namespace {

using LogViewTest = UiTest;

void press(int key, std::uint32_t character = 0) {
    platform::InjectKeyDown(key, character);
    platform::InjectKeyUp(key);
    SYSREFRESH();
}

TEST_F(LogViewTest, ReadOnlyLogRefusesEveryChangeButCopies) {
    MainLike main;
    const std::string text = "hello world\r\n";
    std::vector<std::string> seen;
    std::string copied_by_key, copied_by_message;
    main.run({}, [&] {
        platform::HWND h = main.view->window();
        ASSERT_EQ(platform::GetFocus(), h);
        main.view->VarPut(text);
        main.view->Refresh();
        auto snapshot = [&] { seen.push_back(platform::GetWindowText(h)); };

        // First with the platform control left writable, so that only the log's own refusals
        // stand between the operator and the text.
        platform::SendMessage(h, platform::EM_SETREADONLY, 0, 0);
        platform::SendMessage(h, platform::EM_SETSEL, 0, 5);
        press('X', 'x');
        snapshot();
        press(platform::VK_RETURN, '\r');
        snapshot();
        press(platform::VK_DELETE);
        snapshot();
        platform::SetClipboardText("pasted");
        for (platform::UINT msg : {platform::WM_CUT, platform::WM_PASTE, platform::WM_CLEAR}) {
            platform::SendMessage(h, msg, 0, 0);
            snapshot();
        }

        // Then as the program runs it: the Ctrl keys reach the platform control, which copies
        // and refuses the rest.
        platform::SendMessage(h, platform::EM_SETREADONLY, 1, 0);
        platform::SendMessage(h, platform::EM_SETSEL, 0, 5);
        platform::SetAsyncKeyState(platform::VK_CONTROL, true);
        press('X', 24);
        snapshot();
        press('V', 22);
        snapshot();
        press('Z', 26);
        snapshot();
        platform::SendMessage(h, platform::WM_UNDO, 0, 0);
        snapshot();
        platform::EmptyClipboard();
        press('C', 3);
        copied_by_key = platform::GetClipboardText();
        platform::SetAsyncKeyState(platform::VK_CONTROL, false);
        platform::SendMessage(h, platform::EM_SETSEL, 6, 11);
        platform::SendMessage(h, platform::WM_COPY, 0, 0);
        copied_by_message = platform::GetClipboardText();
        main.dlg->End();
    });
    ASSERT_EQ(seen.size(), 10u);
    for (std::size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(seen[i], text) << "change " << i;
    }
    EXPECT_EQ(*main.log, text);
    EXPECT_EQ(copied_by_key, "hello");
    EXPECT_EQ(copied_by_message, "world");
}

TEST_F(LogViewTest, AppendingALinePutsTheCaretAfterItAndScrollsByTheLineCount) {
    MainLike main;
    platform::LRESULT selection = 0;
    std::string shown;
    std::vector<platform::MSG> scrolls;
    platform::LRESULT lines = 0;
    main.run({}, [&] {
        platform::HWND h = main.view->window();
        main.view->messages.clear();
        // What the command loop's MESSAGE does for one line.
        main.view->VarPut(main.view->VarGet().value_or("") + "abc" + "\r\n");
        main.view->Refresh();
        main.view->GoBottom();
        selection = platform::SendMessage(h, platform::EM_GETSEL, 0, 0);
        shown = platform::GetWindowText(h);
        lines = platform::SendMessage(h, platform::EM_GETLINECOUNT, 0, 0);
        for (const auto& m : main.view->messages) {
            if (m.message == platform::EM_LINESCROLL) {
                scrolls.push_back(m);
            }
        }
        EXPECT_EQ(main.view->GetPos(), 5);
        main.dlg->End();
    });
    EXPECT_EQ(*main.log, "abc\r\n");
    EXPECT_EQ(shown, "abc\r\n");
    EXPECT_EQ(platform::LOWORD(static_cast<std::uintptr_t>(selection)), 5);
    EXPECT_EQ(platform::HIWORD(static_cast<std::uintptr_t>(selection)), 5);
    EXPECT_EQ(lines, 2);
    ASSERT_EQ(scrolls.size(), 1u);
    EXPECT_EQ(scrolls[0].wParam, 0u);
    EXPECT_EQ(scrolls[0].lParam, 2);
}

TEST_F(LogViewTest, LosingTheFocusWritesTheControlTextBack) {
    MainLike main(1);
    std::string bound_after;
    main.run({}, [&] {
        main.view->VarPut("abc\r\n");
        main.view->Refresh();
        platform::SetFocus(main.view->window());
        // Text that reached the control without the binding.
        platform::SetWindowText(main.view->window(), "abc\r\nextra");
        platform::SetFocus(main.extra[0]->window());
        bound_after = *main.log;
        main.dlg->End();
    });
    EXPECT_EQ(bound_after, "abc\r\nextra");
}

TEST_F(LogViewTest, FocusCollapsesTheSelectionAndClicksPlaceTheCaret) {
    MainLike main(1);
    platform::LRESULT after_focus = 0, after_click = 0;
    int last_key = 0;
    main.run({}, [&] {
        platform::HWND h = main.view->window();
        main.view->VarPut("first line\r\nsecond line\r\n");
        main.view->Refresh();
        platform::SetFocus(main.extra[0]->window());
        platform::SendMessage(h, platform::EM_SETSEL, 2, 8);
        platform::SetFocus(h);
        SYSREFRESH();
        after_focus = platform::SendMessage(h, platform::EM_GETSEL, 0, 0);
        // Headless cells are 8 x 16: x 27, y 20 is inside "second", after its third byte.
        platform::InjectMouse(h, platform::WM_LBUTTONDOWN, 27, 20, platform::MK_LBUTTON);
        platform::InjectMouse(h, platform::WM_LBUTTONUP, 27, 20, 0);
        SYSREFRESH();
        after_click = platform::SendMessage(h, platform::EM_GETSEL, 0, 0);
        last_key = main.dlg->nLastKey;
        main.dlg->End();
    });
    EXPECT_EQ(platform::LOWORD(static_cast<std::uintptr_t>(after_focus)), 2);
    EXPECT_EQ(platform::HIWORD(static_cast<std::uintptr_t>(after_focus)), 2);
    EXPECT_EQ(last_key, 1002);
    EXPECT_EQ(platform::LOWORD(static_cast<std::uintptr_t>(after_click)), 12 + 3);
    EXPECT_EQ(platform::HIWORD(static_cast<std::uintptr_t>(after_click)), 12 + 3);
}

}  // namespace
}  // namespace kadro::test
