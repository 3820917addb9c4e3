// The life of a modal dialog: initialisation, the start callback inside the first paint, the
// ways it ends, and the modal-dialog stack.

#include <vector>

#include "platform/display.h"
#include "tests/ui/ui_test_support.h"
#include "ui/gdi.h"

namespace kadro::test {
namespace {

using DialogTest = UiTest;

class ShowRecorder : public platform::Display {
  public:
    void window_shown(platform::HWND h) override { shown->push_back(h); }
    std::shared_ptr<std::vector<platform::HWND>> shown =
        std::make_shared<std::vector<platform::HWND>>();
};

TEST_F(DialogTest, InitRunsBeforeAnyPaintAndBeforeTheWindowIsVisible) {
    MainLike main;
    int paints_at_init = -1;
    bool visible_at_init = true;
    platform::HWND init_handle = 0;
    bool start_visible = false;
    main.run(
        [&] {
            paints_at_init = main.dlg->paints;
            visible_at_init = platform::IsWindowVisible(main.dlg->window());
            init_handle = main.dlg->window();
        },
        [&] {
            start_visible = platform::IsWindowVisible(main.dlg->window());
            main.dlg->End();
        });
    EXPECT_EQ(paints_at_init, 0);
    EXPECT_FALSE(visible_at_init);
    EXPECT_NE(init_handle, platform::HWND{0});
    EXPECT_EQ(main.dlg->init_lparam, static_cast<platform::LPARAM>(init_handle))
        << "Initiate gets the dialog's own handle, whatever lParam was";
    EXPECT_TRUE(start_visible);
}

TEST_F(DialogTest, DialogEndedDuringInitIsNeverShownNorPainted) {
    auto display = std::make_unique<ShowRecorder>();
    auto shown = display->shown;
    platform::AttachDisplay(std::move(display));
    MainLike main;
    bool started = false;
    platform::HWND h = 0;
    main.run(
        [&] {
            h = main.dlg->window();
            EXPECT_TRUE(main.dlg->End());
        },
        [&] { started = true; });
    platform::AttachDisplay(nullptr);
    EXPECT_FALSE(started);
    EXPECT_EQ(main.dlg->paints, 0);
    EXPECT_EQ(std::count(shown->begin(), shown->end(), h), 0);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
    EXPECT_EQ(main.dlg->window(), platform::HWND{0});
    EXPECT_FALSE(main.dlg->lVisible);
}

TEST_F(DialogTest, StartRunsOnceInsideTheFirstPaintEvenWhenItPumpsLaterPaints) {
    MainLike main;
    int starts = 0;
    int depth_at_start = 0;
    bool needed_paint_at_start = true;
    int paints_after_pump = 0;
    main.run({}, [&] {
        ++starts;
        platform::HWND h = main.dlg->window();
        depth_at_start = main.dlg->paint_depth;
        needed_paint_at_start = platform::NeedsPaint(h);
        for (int i = 0; i < 3; ++i) {
            platform::InvalidateRect(h, true);
            SYSREFRESH();
        }
        paints_after_pump = main.dlg->paints;
        main.dlg->End();
    });
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(depth_at_start, 1);
    EXPECT_FALSE(needed_paint_at_start) << "painted and validated before the start callback";
    EXPECT_EQ(paints_after_pump, 4);
    EXPECT_FALSE(main.dlg->bStart);
}

TEST_F(DialogTest, EndRefusedByTheValidCallbackChangesNothing) {
    MainLike main;
    int asked = 0;
    bool refused_result = true;
    bool visible_after = false;
    DialogResult result_after;
    main.run(
        [&] {
            main.dlg->bValid = [&](TWindow&) {
                ++asked;
                return false;
            };
        },
        [&] {
            refused_result = main.dlg->End(5);
            visible_after = platform::IsWindowVisible(main.dlg->window());
            result_after = main.dlg->nResult;
            main.dlg->bValid = nullptr;
            platform::PostMessage(main.dlg->window(), kFallbackEnd, 0, 0);
        });
    EXPECT_FALSE(refused_result);
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(visible_after);
    ASSERT_TRUE(std::holds_alternative<TControl*>(result_after));
    EXPECT_EQ(std::get<TControl*>(result_after), main.view.get())
        << "still the control that has the focus";
    EXPECT_EQ(ResultNumber(main.dlg->nResult), kFallbackResult);
}

TEST_F(DialogTest, EndInsideStartHidesAtOnceButActivateWaitsForTheCallback) {
    MainLike main;
    bool ended = false;
    bool visible_after_end = true;
    bool callback_returned = false;
    std::shared_ptr<TFont> font;
    main.run({}, [&] {
        font = main.dlg->oFont;
        ended = main.dlg->End();
        visible_after_end = platform::IsWindowVisible(main.dlg->window());
        for (int i = 0; i < 3; ++i) {
            SYSREFRESH();  // the command loop keeps pumping; the window must stay alive
        }
        EXPECT_TRUE(platform::IsWindow(main.dlg->window()));
        callback_returned = true;
    });
    EXPECT_TRUE(ended);
    EXPECT_FALSE(visible_after_end);
    EXPECT_TRUE(callback_returned);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
    EXPECT_EQ(main.dlg->window(), platform::HWND{0});
    EXPECT_EQ(main.view->window(), platform::HWND{0});
    ASSERT_TRUE(font);
    EXPECT_EQ(font->cFaceName, GETSYSFONT());
    EXPECT_EQ(font->nHeight, -12);
    EXPECT_EQ(font->nCount, 0) << "dialog and log let the shared font go";
    EXPECT_EQ(font->hFont, platform::HFONT{0});
}

TEST_F(DialogTest, EscapeOnTheFocusedLogEndsThroughEnd2) {
    MainLike main;
    int asked = 0;
    bool log_had_focus = false;
    main.run(
        {},
        [&] {
            log_had_focus = platform::GetFocus() == main.view->window();
            // Left to the dialog's own loop and its keyboard handling.
            platform::InjectKeyDown(platform::VK_ESCAPE, 27);
            platform::PostMessage(main.dlg->window(), kFallbackEnd, 0, 0);
        },
        [&](TWindow&) {
            ++asked;
            return true;
        });
    EXPECT_TRUE(log_had_focus);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
}

TEST_F(DialogTest, EscapeWhileTheStartCallbackPumpsEndsToo) {
    MainLike main;
    bool ended_before_return = false;
    main.run({}, [&] {
        platform::InjectKeyDown(platform::VK_ESCAPE, 27);
        SYSREFRESH();
        ended_before_return = !platform::IsWindowVisible(main.dlg->window());
        platform::PostMessage(main.dlg->window(), kFallbackEnd, 0, 0);
    });
    EXPECT_TRUE(ended_before_return);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
}

TEST_F(DialogTest, AltF4IsRefusedWhileF4IsHeldAndGrantedOnceItIsUp) {
    MainLike main;
    int asked = 0;
    bool visible_after_refusal = false;
    bool visible_after_grant = true;
    main.run(
        [&] {
            main.dlg->bValid = [&](TWindow&) {
                ++asked;
                return !GETASYNCKEYSTATE(platform::VK_F4);
            };
        },
        [&] {
            platform::InjectKeyDown(platform::VK_MENU);
            platform::InjectKeyDown(platform::VK_F4);
            SYSREFRESH();
            visible_after_refusal = platform::IsWindowVisible(main.dlg->window());
            // The next close request is still waiting when F4 comes up.
            platform::InjectKeyDown(platform::VK_F4);
            platform::InjectKeyUp(platform::VK_F4);
            SYSREFRESH();
            visible_after_grant = platform::IsWindowVisible(main.dlg->window());
            platform::InjectKeyUp(platform::VK_MENU);
            platform::PostMessage(main.dlg->window(), kFallbackEnd, 0, 0);
        });
    EXPECT_TRUE(visible_after_refusal);
    EXPECT_FALSE(visible_after_grant);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
}

TEST_F(DialogTest, CommandIdOneMovesTheFocusAndIdTwoEnds) {
    MainLike main(1);
    platform::HWND focus_before = 0, focus_after = 0, view_handle = 0, extra_handle = 0;
    bool visible_after_id1 = false;
    main.run({}, [&] {
        platform::HWND h = main.dlg->window();
        view_handle = main.view->window();
        extra_handle = main.extra[0]->window();
        // The Tab posted at initialisation has moved the focus on to the second log already.
        platform::SetFocus(view_handle);
        focus_before = platform::GetFocus();
        platform::SendMessage(h, platform::WM_COMMAND, platform::MAKELONG(platform::IDOK, 0), 0);
        focus_after = platform::GetFocus();
        visible_after_id1 = platform::IsWindowVisible(h);
        platform::SendMessage(h, platform::WM_COMMAND, platform::MAKELONG(platform::IDCANCEL, 0),
                              0);
        platform::PostMessage(h, kFallbackEnd, 0, 0);
    });
    EXPECT_EQ(focus_before, view_handle);
    EXPECT_EQ(focus_after, extra_handle);
    EXPECT_TRUE(visible_after_id1);
    EXPECT_EQ(ResultNumber(main.dlg->nResult), 2);
}

TEST_F(DialogTest, ModalStackBindsTheFirstMessageToTheNewestDialog) {
    auto a = TDialog::New();
    auto b = TDialog::New();
    EXPECT_EQ(ModalStackLookup(0x10), nullptr) << "empty stack";
    ASSERT_TRUE(ModalStackPush(a.get()));
    EXPECT_EQ(ModalStackLookup(0x10), a.get());
    EXPECT_EQ(ModalStackLookup(0x10), a.get());
    EXPECT_EQ(ModalStackLookup(0x11), nullptr) << "the newest entry is bound already";
    ASSERT_TRUE(ModalStackPush(b.get()));
    EXPECT_EQ(ModalStackLookup(0x10), a.get()) << "older entries are found before binding";
    EXPECT_EQ(ModalStackLookup(0x12), b.get());
    ModalStackPop();
    EXPECT_EQ(ModalStackLookup(0x12), nullptr);
    EXPECT_EQ(ModalStackLookup(0x10), a.get());
    ModalStackPop();
    EXPECT_EQ(ModalStackTop(), kModalStackSlots);
}

TEST_F(DialogTest, ModalStackOverflowDoesNotCostTheEnclosingDialogItsEntry) {
    std::vector<std::shared_ptr<TDialog>> dialogs;
    for (int i = 0; i < kModalStackSlots; ++i) {
        dialogs.push_back(TDialog::New());
        ASSERT_TRUE(ModalStackPush(dialogs.back().get()));
        ASSERT_EQ(ModalStackLookup(static_cast<platform::HWND>(0x100 + i)), dialogs.back().get());
    }
    auto extra = TDialog::New();
    EXPECT_FALSE(ModalStackPush(extra.get()));
    EXPECT_EQ(ModalStackLookup(0x999), nullptr);
    ModalStackPop();  // the extra one's pop
    EXPECT_EQ(ModalStackLookup(0x100 + kModalStackSlots - 1), dialogs.back().get());
    for (int i = 0; i < kModalStackSlots; ++i) {
        ModalStackPop();
    }
    EXPECT_EQ(ModalStackTop(), kModalStackSlots);
}

TEST_F(DialogTest, NestedDialogsEachFindTheirOwnObject) {
    MainLike outer;
    auto inner = TDialog::New<TestDialog>({.cCaption = "inner", .nWidth = 200, .nHeight = 100});
    platform::HWND inner_handle = 0;
    platform::HWND outer_handle = 0;
    bool inner_started = false;
    outer.run({}, [&] {
        outer_handle = outer.dlg->window();
        TestDialog* in = inner.get();
        in->bStart = [&, in] {
            inner_started = true;
            inner_handle = in->window();
            EXPECT_EQ(ModalStackLookup(outer_handle), outer.dlg.get());
            EXPECT_EQ(ModalStackLookup(inner_handle), in);
            EXPECT_TRUE(in->End(7));
        };
        inner->Activate({.lCentered = true});
        // Back in the outer loop: its own messages still reach the outer object.
        platform::SendMessage(outer_handle, platform::WM_COMMAND,
                              platform::MAKELONG(platform::IDCANCEL, 0), 0);
        platform::PostMessage(outer_handle, kFallbackEnd, 0, 0);
    });
    EXPECT_TRUE(inner_started);
    EXPECT_NE(inner_handle, outer_handle);
    EXPECT_GT(inner->paints, 0);
    EXPECT_EQ(ResultNumber(inner->nResult), 7);
    EXPECT_EQ(ResultNumber(outer.dlg->nResult), 2);
}

}  // namespace
}  // namespace kadro::test
