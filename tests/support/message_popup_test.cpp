#include "support/message_popup.h"

#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "support/wait_box.h"
#include "testing/headless_test_display.h"
#include "ui/message_pump.h"

namespace kadro::test {
namespace {

using namespace platform;

class PopupTest : public ::testing::Test {
  protected:
    void TearDown() override {
        POPMSG();  // closes a wait box a failed test left open
        SYSREFRESH();
        for (HWND window : GetTopLevelWindows()) {
            DestroyWindow(window);
        }
        EXPECT_EQ(m_display.script().unanswered, 0);
    }

    // A plain top-level window, made active.
    static HWND ActiveWindow() {
        static bool registered = RegisterClass("SupportPopupTestWindow", DefWindowProc);
        (void)registered;
        HWND window = CreateWindowEx(0, "SupportPopupTestWindow", "owner",
                                     WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 10, 300, 200, 0, 0);
        SetActiveWindow(window);
        return window;
    }

    ScopedTestDisplay m_display;
};

TEST(PopupText, SemicolonsBreakLinesAndDosAccentsBecomeWindowsOnes) {
    EXPECT_EQ(PrepareMessageText("uno;due"), "uno\r\ndue");
    EXPECT_EQ(PrepareMessageText("uno;;due"), "uno\r\n\r\ndue");
    EXPECT_EQ(PrepareMessageText("\x85\x8A\x82\x8D\x95\x97"), "\xE0\xE8\xE9\xEC\xF2\xF9");
    // Neighbouring DOS letters and the Windows forms themselves stay as they are.
    EXPECT_EQ(O2A("\x80\x81\x83\x84\x86\x96\xE0 A;"), "\x80\x81\x83\x84\x86\x96\xE0 A;");
}

TEST_F(PopupTest, EachTypeShowsItsStyleToneAndResult) {
    struct Case {
        int type;
        int button;
        UINT style;
        PopResult result;
    };
    const std::vector<Case> cases = {
        {1, IDOK, 64, std::monostate{}},
        {2, IDOK, 33, true},
        {2, IDCANCEL, 33, false},
        {3, IDYES, 35, 6},
        {3, IDNO, 35, 7},
        {3, IDCANCEL, 35, 2},
        {4, IDYES, 36, true},
        {4, IDNO, 36, false},
        {5, IDYES, 292, true},
        {5, IDNO, 292, false},
        {6, IDOK, 17, true},
        {6, IDCANCEL, 17, false},
    };
    auto& script = m_display.script();
    for (const Case& c : cases) {
        script.answers.push_back(BoxAnswer::button(c.button));
        std::size_t beeps = script.beeps.size();
        EXPECT_EQ(POPMSG("Porta;chiusa", c.type), c.result) << "type " << c.type;
        EXPECT_EQ(script.shown.back().style, c.style);
        EXPECT_EQ(script.shown.back().caption, "Attenzione");
        EXPECT_EQ(script.shown.back().text, "Porta\r\nchiusa");
        if (c.type == 1) {
            EXPECT_EQ(script.beeps.size(), beeps);
        } else {
            ASSERT_EQ(script.beeps.size(), beeps + 1);
            EXPECT_EQ(script.beeps.back(), std::make_pair(880u, 54u));
        }
    }
    script.answers.push_back(BoxAnswer::button(IDOK));
    POPMSG("x", 1, "Titolo");
    EXPECT_EQ(script.shown.back().caption, "Titolo");
}

TEST_F(PopupTest, EnterPressesTheDefaultButton) {
    m_display.script().answers.push_back(BoxAnswer::key(VK_RETURN));
    EXPECT_EQ(POPMSG("Annullo?", 5), PopResult(false));
    m_display.script().answers.push_back(BoxAnswer::key(VK_RETURN));
    EXPECT_EQ(POPMSG("Continuo?", 4), PopResult(true));
}

TEST_F(PopupTest, UnknownTypeShowsNothing) {
    EXPECT_EQ(POPMSG("x", 7), PopResult(std::monostate{}));
    EXPECT_EQ(POPMSG("x", 0), PopResult(std::monostate{}));
    EXPECT_TRUE(m_display.script().shown.empty());
    EXPECT_TRUE(m_display.script().beeps.empty());
}

TEST_F(PopupTest, ABoxThatCannotBeShownCountsAsNotConfirmed) {
    EXPECT_EQ(TypedBoxResult(2, 0), PopResult(false));
    EXPECT_EQ(TypedBoxResult(3, 0), PopResult(0));
    EXPECT_EQ(TypedBoxResult(4, 0), PopResult(false));
    EXPECT_EQ(TypedBoxResult(5, 0), PopResult(false));
    EXPECT_EQ(TypedBoxResult(6, 0), PopResult(false));
}

TEST_F(PopupTest, TheActiveWindowOwnsTheBox) {
    HWND owner = ActiveWindow();
    bool owner_enabled_while_up = true;
    m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        owner_enabled_while_up = IsWindowEnabled(owner);
        PostMessage(box, WM_COMMAND, IDOK, 0);
    }));
    POPMSG("x", 1);
    EXPECT_FALSE(owner_enabled_while_up);
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST_F(PopupTest, WaitBoxKeepsItsTextUnlessUpdated) {
    EXPECT_EQ(POPMSG(), PopResult(std::monostate{}));
    EXPECT_EQ(OpenWaitBox(), nullptr);

    EXPECT_EQ(POPMSG("Lettura;immagine", std::nullopt, std::nullopt, false),
              PopResult(std::monostate{}));
    TMsgBox* box = OpenWaitBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->oDlg, 0u);
    EXPECT_EQ(GetWindowText(box->oDlg), "Attendere");
    HWND text = GetChildren(box->oDlg).at(1);
    EXPECT_EQ(GetWindowText(text), "Lettura\r\nimmagine");
    EXPECT_EQ(CURMSG(), "Lettura\r\nimmagine");

    POPMSG("B", std::nullopt, std::nullopt, false);
    EXPECT_EQ(GetWindowText(text), "Lettura\r\nimmagine");
    POPMSG("B", std::nullopt, std::nullopt, true);
    EXPECT_EQ(GetWindowText(text), "B");
    EXPECT_EQ(CURMSG(), "Lettura\r\nimmagine");
    EXPECT_EQ(OpenWaitBox(), box);

    HWND dialog = box->oDlg;
    POPMSG();
    EXPECT_EQ(OpenWaitBox(), nullptr);
    EXPECT_EQ(CURMSG(), std::nullopt);
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(PopupTest, WaitBoxGeometryFollowsTheText) {
    POPMSG(std::string(200, ' '), std::nullopt, std::nullopt, false);
    ASSERT_NE(OpenWaitBox(), nullptr);
    RECT frame{};
    GetWindowRect(OpenWaitBox()->oDlg, &frame);
    EXPECT_EQ(frame.width(), 210);
    EXPECT_EQ(frame.height(), 6 * 15);
    EXPECT_EQ(CURMSG(), "");
    POPMSG();

    // Two lines of the headless display's 8-pixel characters; the longer has 10 characters
    // once its trailing blanks are gone.
    POPMSG("abcdefghij   ;abc", std::nullopt, std::nullopt, false);
    GetWindowRect(OpenWaitBox()->oDlg, &frame);
    EXPECT_EQ(frame.width(), 80 + 110);
    EXPECT_EQ(frame.height(), (2 + 5) * 15);
    RECT screen = CurrentDisplay().screen_rect();
    EXPECT_EQ(frame.left, (screen.width() - frame.width()) / 2) << "centred";
}

TEST(WaitBoxText, LongLinesWrapAtBlanksWithinSeventyNineColumns) {
    std::string words;
    for (int i = 0; i < 20; ++i) {
        words += "parola ";  // 7 columns each: 11 words fit in 79
    }
    WaitBoxTextSize size = MeasureWaitBoxText(words);
    EXPECT_EQ(size.lines, 2);
    EXPECT_EQ(size.width, (11 * 7 - 1) * 8);
    EXPECT_EQ(MeasureWaitBoxText(std::string(100, 'x')).lines, 2);
    EXPECT_EQ(MeasureWaitBoxText("\tx").width, 5 * 8) << "tab stops every 4 columns";
}

TEST_F(PopupTest, ProgressBarJumpsAndFillsAtTheMaximum) {
    POPMSG("Copia", std::nullopt, std::nullopt, false, 0, 50);
    TMsgBox* box = OpenWaitBox();
    ASSERT_NE(box, nullptr);
    ASSERT_NE(box->oPrg, 0u);
    RECT frame{};
    GetWindowRect(box->oDlg, &frame);
    EXPECT_EQ(frame.width(), 5 * 8 + 5 + 110);
    EXPECT_EQ(frame.height(), (1 + 1 + 5) * 15);

    // A position comes with the box's text; a call without any text would close the box.
    POPMSG("Copia", std::nullopt, std::nullopt, false, std::nullopt, std::nullopt, 20);
    EXPECT_EQ(SendMessage(box->oPrg, PBM_GETPOS, 0, 0), 20);
    POPMSG("Copia", std::nullopt, std::nullopt, false, std::nullopt, std::nullopt, 80);
    EXPECT_EQ(SendMessage(box->oPrg, PBM_GETPOS, 0, 0), 50);
    EXPECT_EQ(SendMessage(box->oPrg, PBM_GETRANGE, 0, 0), 50);
}

TEST_F(PopupTest, WaitBoxRefusesToCloseWhileEscapeOrF4IsHeld) {
    POPMSG("x", std::nullopt, std::nullopt, false);
    HWND dialog = OpenWaitBox()->oDlg;
    for (int key : {VK_ESCAPE, VK_F4}) {
        SetAsyncKeyState(key, true);
        PostMessage(dialog, WM_CLOSE, 0, 0);
        SYSREFRESH();
        SetAsyncKeyState(key, false);
        EXPECT_TRUE(IsWindow(dialog));
    }
    PostMessage(dialog, WM_CLOSE, 0, 0);
    SYSREFRESH();
    EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(PopupTest, PrintVariantCountsPagesAndRecordsNoText) {
    POPMSG(std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, std::nullopt,
           std::nullopt, true);
    TMsgBox* box = OpenWaitBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(CURMSG(), std::nullopt);
    EXPECT_EQ(box->nPag, 1);
    HWND page = GetDlgItem(box->oDlg, 102);
    EXPECT_EQ(GetWindowText(page), "");
    EXPECT_FALSE(IsWindowVisible(GetDlgItem(box->oDlg, 201)));
    POPMSG(std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, std::nullopt,
           std::nullopt, false, true);
    EXPECT_EQ(GetWindowText(page), "2");
    EXPECT_EQ(box->nPag, 2);
}

TEST_F(PopupTest, TypedCallClosesTheWaitBoxAndEnablesItsOwnerFirst) {
    HWND owner = ActiveWindow();
    POPMSG("Attendi", std::nullopt, std::nullopt, false);
    ASSERT_NE(OpenWaitBox(), nullptr);
    EXPECT_EQ(OpenWaitBox()->hWnd, owner);
    EXPECT_FALSE(IsWindowEnabled(owner));
    HWND dialog = OpenWaitBox()->oDlg;

    bool wait_box_gone_before = false;
    m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        wait_box_gone_before = OpenWaitBox() == nullptr && CURMSG() == std::nullopt;
        PostMessage(box, WM_COMMAND, IDOK, 0);
    }));
    POPMSG("Fatto", 1);
    EXPECT_TRUE(wait_box_gone_before);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsWindow(dialog));

    POPMSG("Attendi", std::nullopt, std::nullopt, false);
    POPMSG("x", 7);
    EXPECT_EQ(OpenWaitBox(), nullptr) << "an unknown type still closes the box";
    EXPECT_TRUE(IsWindowEnabled(owner));
}

}  // namespace
}  // namespace kadro::test
