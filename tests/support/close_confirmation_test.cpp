#include "support/close_confirmation.h"

#include <gtest/gtest.h>

#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "testing/headless_test_display.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/multi_get.h"

namespace kadro::test {
namespace {

using namespace platform;

class TField : public TControl {
  public:
    std::string cToChar() override { return {}; }
    int lost_focus = 0;
    EventResult LostFocus(HWND) override {
        ++lost_focus;
        return {};
    }
};
class TSay : public TField {};

class TFolder : public TField, public FolderPages {
  public:
    std::vector<std::shared_ptr<TDialog>> Pages() override { return pages; }
    void SetOption(int nOption) override { shown.push_back(nOption); }
    std::vector<std::shared_ptr<TDialog>> pages;
    std::vector<int> shown;
};

HWND PlainWindow(HWND parent = 0) {
    static bool registered = RegisterClass("SupportCloseTestWindow", DefWindowProc);
    (void)registered;
    DWORD style = parent != 0 ? WS_CHILD | WS_VISIBLE : WS_POPUP | WS_VISIBLE;
    return CreateWindowEx(0, "SupportCloseTestWindow", "", style, 0, 0, 100, 100, parent, 0);
}

class CloseConfirmationTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (HWND window : GetTopLevelWindows()) {
            DestroyWindow(window);
        }
        EXPECT_EQ(m_display.script().unanswered, 0);
        EXPECT_FALSE(CloseConfirmationRunning());
    }

    std::shared_ptr<TDialog> m_dialog = TDialog::New();
    ScopedTestDisplay m_display;
};

TEST_F(CloseConfirmationTest, WithoutQuestionOrChangesTheDialogClosesAtOnce) {
    for (std::optional<std::intptr_t> reason :
         {std::optional<std::intptr_t>(), std::optional<std::intptr_t>(2)}) {
        m_dialog->Cargo.close_reason = reason;
        m_dialog->lModify = true;
        EXPECT_TRUE(VALID_(*m_dialog, false));
        m_dialog->lModify = false;
        EXPECT_TRUE(VALID_(*m_dialog, true));
    }
    EXPECT_TRUE(m_display.script().shown.empty());
}

TEST_F(CloseConfirmationTest, ChangesAreDiscardedOnlyWhenTheOperatorAgrees) {
    HWND focus = PlainWindow();
    m_dialog->lModify = true;

    SetFocus(focus);
    m_display.script().answers.push_back(BoxAnswer::button(IDYES));
    EXPECT_TRUE(VALID_(*m_dialog, true));
    EXPECT_EQ(m_display.script().shown.back().text, "Annullo le modifiche?");
    EXPECT_EQ(m_display.script().shown.back().style, 292u);

    SetFocus(focus);
    m_display.script().answers.push_back(BoxAnswer::key(VK_RETURN));
    EXPECT_FALSE(VALID_(*m_dialog, true)) << "No is the default";
    EXPECT_EQ(GetFocus(), focus);
}

TEST_F(CloseConfirmationTest, AChangedFolderPageMarksTheDialogChanged) {
    auto folder = std::make_shared<TFolder>();
    folder->pages = {TDialog::New(), TDialog::New()};
    folder->pages[0]->lModify = false;
    folder->pages[1]->lModify = true;
    m_dialog->aControls.push_back(folder);
    m_dialog->lModify = false;
    m_dialog->Cargo.close_reason = 2;

    m_display.script().answers.push_back(BoxAnswer::button(IDNO));
    EXPECT_FALSE(VALID_(*m_dialog, true));
    EXPECT_TRUE(m_dialog->lModify);
    EXPECT_EQ(m_display.script().shown.size(), 1u);
}

TEST_F(CloseConfirmationTest, ANestedCallIsRefusedWhileTheQuestionIsUp) {
    m_dialog->lModify = true;
    auto other = TDialog::New();
    bool nested = true;
    bool marker_seen = false;
    m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        nested = VALID_(*other, false);
        marker_seen = CloseConfirmationRunning();
        PostMessage(box, WM_COMMAND, IDYES, 0);
    }));
    EXPECT_TRUE(VALID_(*m_dialog, true));
    EXPECT_FALSE(nested);
    EXPECT_TRUE(marker_seen);
    EXPECT_FALSE(CloseConfirmationRunning());
    EXPECT_TRUE(VALID_(*other, false)) << "the marker went with the outer call";
}

TEST_F(CloseConfirmationTest, AFailingFieldIsReportedRedAndFocusedAndUsesUpTheConfirmation) {
    HWND dialog_window = PlainWindow();
    m_dialog->hWnd = dialog_window;
    auto skipped = std::make_shared<TField>();
    skipped->bWhen = [](TWindow&) { return false; };
    skipped->Cargo.check = ControlCheck([](TControl&) { return false; });
    auto label = std::make_shared<TSay>();
    label->Cargo.check = ControlCheck([](TControl&) { return false; });
    auto passing = std::make_shared<TField>();
    int lost_focus_before_checks = -1;
    auto failing = std::make_shared<TField>();
    failing->hWnd = PlainWindow(dialog_window);
    failing->nClrPane = 0xC0C0C0;
    failing->Cargo.check = ControlCheck([](TControl&) { return false; });
    auto after = std::make_shared<TField>();
    int after_checked = 0;
    after->Cargo.check = ControlCheck([&](TControl&) { return ++after_checked > 0; });
    m_dialog->aControls = {skipped, label, passing, failing, after};

    // The focus control takes over its pending input before anything is checked.
    auto focused = std::make_shared<TField>();
    focused->hWnd = PlainWindow(dialog_window);
    focused->Link();
    SetFocus(focused->window());
    passing->Cargo.check = ControlCheck([&](TControl&) {
        lost_focus_before_checks = focused->lost_focus;
        return true;
    });

    std::uint32_t pane_while_up = 0;
    m_display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
        pane_while_up = failing->nClrPane;
        PostMessage(box, WM_COMMAND, IDOK, 0);
    }));
    m_dialog->Cargo.close_reason = 1;
    EXPECT_FALSE(VALID_(*m_dialog, false));

    EXPECT_EQ(lost_focus_before_checks, 1);
    ASSERT_EQ(m_display.script().shown.size(), 1u);
    EXPECT_EQ(m_display.script().shown[0].text, "Campo non valido.");
    EXPECT_EQ(m_display.script().shown[0].style, 64u);
    EXPECT_EQ(pane_while_up, 255u);
    EXPECT_EQ(failing->nClrPane, 0xC0C0C0u);
    EXPECT_EQ(GetFocus(), failing->window());
    EXPECT_EQ(after_checked, 0) << "only the first failure is reported";
    EXPECT_FALSE(m_dialog->Cargo.close_reason.has_value());

    // The confirmation is used up: the next close counts as not confirmed.
    EXPECT_TRUE(VALID_(*m_dialog, false));
    focused->UnLink();
}

TEST_F(CloseConfirmationTest, ConfirmedCloseChecksTheDialogThenEveryPageInOrder) {
    auto folder = std::make_shared<TFolder>();
    folder->pages = {TDialog::New(), TDialog::New(), TDialog::New()};
    std::vector<std::string> order;
    auto field = [&](std::string name, bool ok) {
        auto control = std::make_shared<TField>();
        control->Cargo.check = ControlCheck([&order, name, ok](TControl&) {
            order.push_back(name);
            return ok;
        });
        return control;
    };
    m_dialog->aControls = {field("dialog", true), folder};
    folder->pages[0]->aControls = {field("page1", true)};
    folder->pages[1]->aControls = {field("page2", true)};
    folder->pages[2]->aControls = {field("page3", true)};

    m_dialog->Cargo.close_reason = 1;
    EXPECT_TRUE(VALID_(*m_dialog, true));
    EXPECT_EQ(order, (std::vector<std::string>{"dialog", "page1", "page2", "page3"}));
    EXPECT_EQ(folder->shown, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(m_display.script().shown.empty());

    order.clear();
    folder->pages[1]->aControls = {field("page2", false)};
    m_display.script().answers.push_back(BoxAnswer::button(IDOK));
    m_dialog->Cargo.close_reason = 7;  // any number but 2 asks for validation
    EXPECT_FALSE(VALID_(*m_dialog, true));
    EXPECT_EQ(order, (std::vector<std::string>{"dialog", "page1", "page2"}));
}

TEST_F(CloseConfirmationTest, TheLogControlIsCheckedLikeAnyFieldWhileStaticTextsAreNot) {
    // Static texts are told by their class name: the window layer's own controls, such as the
    // log, must not be mistaken for one.
    auto log = TMultiGet::New();
    log->Cargo.check = ControlCheck([](TControl&) { return false; });
    auto label = std::make_shared<TSay>();
    int label_checked = 0;
    label->Cargo.check = ControlCheck([&](TControl&) { return ++label_checked > 0; });
    m_dialog->aControls = {label, log};
    m_display.script().answers.push_back(BoxAnswer::button(IDOK));
    m_dialog->Cargo.close_reason = 1;
    EXPECT_FALSE(VALID_(*m_dialog, false));
    EXPECT_EQ(label_checked, 0);
    ASSERT_EQ(m_display.script().shown.size(), 1u);
    EXPECT_EQ(m_display.script().shown[0].text, "Campo non valido.");
}

}  // namespace
}  // namespace kadro::test
