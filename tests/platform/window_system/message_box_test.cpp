#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "testing/headless_test_display.h"

namespace kadro::test {
namespace {

using namespace platform;

class MessageBoxTest : public ::testing::Test {
  protected:
    void TearDown() override {
        EXPECT_EQ(m_display.script().unanswered, 0);
        EXPECT_TRUE(GetTopLevelWindows().empty());
    }
    ScopedTestDisplay m_display;
};

struct BoxLayout {
    std::vector<std::string> captions;
    int icon = 0;
    HWND focus = 0;
    int focus_id = 0;
};

BoxLayout inspect(HWND box) {
    BoxLayout layout;
    for (HWND child : GetChildren(box)) {
        if (GetClassName(child) == "Button") {
            layout.captions.push_back(GetWindowText(child));
        } else if (int icon = GetStaticIconId(child); icon != 0) {
            layout.icon = icon;
        }
    }
    layout.focus = GetFocus();
    layout.focus_id = GetDlgCtrlID(layout.focus);
    return layout;
}

TEST_F(MessageBoxTest, ButtonsIconAndDefaultFollowTheStyle) {
    struct Case {
        UINT style;
        std::vector<int> buttons;
        int default_button;
        int icon;
    };
    const std::vector<Case> cases = {
        {64, {IDOK}, IDOK, IDI_ASTERISK},
        {33, {IDOK, IDCANCEL}, IDOK, IDI_QUESTION},
        {35, {IDYES, IDNO, IDCANCEL}, IDYES, IDI_QUESTION},
        {36, {IDYES, IDNO}, IDYES, IDI_QUESTION},
        {292, {IDYES, IDNO}, IDNO, IDI_QUESTION},
        {17, {IDOK, IDCANCEL}, IDOK, IDI_HAND},
    };
    for (const Case& c : cases) {
        BoxLayout layout;
        m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
            layout = inspect(box);
            InjectKeyDown(VK_RETURN);
            InjectKeyUp(VK_RETURN);
        }));
        EXPECT_EQ(MessageBox(0, "text", "title", c.style), c.default_button)
            << "Enter presses the default button of style " << c.style;
        const auto& shown = m_display.script().shown.back();
        EXPECT_EQ(shown.buttons, c.buttons);
        EXPECT_EQ(shown.default_button, c.default_button);
        EXPECT_EQ(layout.icon, c.icon);
        EXPECT_EQ(layout.focus_id, c.default_button) << "the default button has the focus";
        EXPECT_EQ(layout.captions.size(), c.buttons.size());
    }
    EXPECT_EQ(m_display.script().shown.size(), cases.size());
}

TEST_F(MessageBoxTest, EscapeAndCloseCountAsCancelOrAsALoneOk) {
    auto& answers = m_display.script().answers;
    answers.push_back(BoxAnswer::key(VK_ESCAPE));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_OKCANCEL), IDCANCEL);
    answers.push_back(BoxAnswer::key(VK_ESCAPE));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_OK), IDOK);
    answers.push_back(BoxAnswer::run([](HWND box) { PostMessage(box, WM_CLOSE, 0, 0); }));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_YESNOCANCEL), IDCANCEL);
    answers.push_back(BoxAnswer::run([](HWND) {
        SetAsyncKeyState(VK_MENU, true);
        InjectKeyDown(VK_F4);
        InjectKeyUp(VK_F4);
        SetAsyncKeyState(VK_MENU, false);
    }));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_OKCANCEL | MB_ICONHAND), IDCANCEL);
    // Without Cancel, Escape and the close command do nothing: the click behind them decides.
    answers.push_back(BoxAnswer::run([](HWND box) {
        InjectKeyDown(VK_ESCAPE);
        InjectKeyUp(VK_ESCAPE);
        PostMessage(box, WM_CLOSE, 0, 0);
        PostMessage(box, WM_COMMAND, IDNO, 0);
    }));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST_F(MessageBoxTest, SpaceOrAClickPressesTheFocusedButton) {
    auto& answers = m_display.script().answers;
    answers.push_back(BoxAnswer::run([](HWND box) {
        SetFocus(GetDlgItem(box, IDNO));
        InjectKeyDown(VK_SPACE);
        InjectKeyUp(VK_SPACE);
    }));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_YESNOCANCEL), IDNO);
    answers.push_back(BoxAnswer::run([](HWND box) {
        HWND retry = GetDlgItem(box, IDRETRY);
        InjectMouse(retry, WM_LBUTTONDOWN, 3, 3, MK_LBUTTON);
        InjectMouse(retry, WM_LBUTTONUP, 3, 3, 0);
    }));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_RETRYCANCEL), IDRETRY);
    answers.push_back(BoxAnswer::button(IDABORT));
    EXPECT_EQ(MessageBox(0, "a", "t", MB_ABORTRETRYIGNORE), IDABORT);
}

LRESULT owner_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProc(hwnd, msg, wparam, lparam);
}

TEST_F(MessageBoxTest, RecordsItsContentAndDisablesTheOwnerWhileUp) {
    RegisterClass("MessageBoxTestOwner", owner_proc);
    HWND owner = CreateWindowEx(0, "MessageBoxTestOwner", "", WS_VISIBLE, 0, 0, 200, 100, 0, 0);
    bool owner_enabled = true;
    MessageBoxContent seen;
    bool readable = false;
    HWND shown_box = 0;
    m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        shown_box = box;
        owner_enabled = IsWindowEnabled(owner);
        readable = GetMessageBoxContent(box, &seen);
        EXPECT_TRUE(IsWindowVisible(box));
        PostMessage(box, WM_COMMAND, IDOK, 0);
    }));
    EXPECT_EQ(MessageBox(owner, "line one\r\nline two", "Attenzione", MB_ICONINFORMATION), IDOK);
    EXPECT_FALSE(owner_enabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    ASSERT_TRUE(readable);
    EXPECT_EQ(seen.text, "line one\r\nline two");
    EXPECT_EQ(seen.caption, "Attenzione");
    EXPECT_EQ(seen.style, MB_ICONINFORMATION);
    EXPECT_FALSE(GetMessageBoxContent(shown_box, &seen)) << "gone with the box";
    DestroyWindow(owner);
}

TEST_F(MessageBoxTest, AnUnknownButtonSetShowsNothingAndBeepGoesToTheDisplay) {
    EXPECT_EQ(MessageBox(0, "a", "t", 7), 0);
    EXPECT_TRUE(m_display.script().shown.empty());
    EXPECT_TRUE(Beep(880, 54));
    ASSERT_EQ(m_display.script().beeps.size(), 1u);
    EXPECT_EQ(m_display.script().beeps[0], (std::pair<unsigned, unsigned>{880, 54}));
}

}  // namespace
}  // namespace kadro::test
