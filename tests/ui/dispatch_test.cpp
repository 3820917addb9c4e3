// Routing of window messages to objects: result conversion, the serial notification, the
// linked-window table.

#include <atomic>
#include <thread>

#include "tests/ui/ui_test_support.h"
#include "ui/gdi.h"

namespace kadro::test {
namespace {

using DispatchTest = UiTest;

TEST_F(DispatchTest, ControlHandlerNilPassesOnZeroSwallowsTrueAnswersOne) {
    MainLike main;
    platform::LRESULT nil_answer = -1, zero_answer = -1, true_answer = -1;
    std::string after_nil, after_zero, after_true;
    main.run([&] {
        platform::HWND h = main.view->window();
        auto set = [h](const char* text) {
            return platform::SendMessage(h, platform::WM_SETTEXT, 0,
                                         reinterpret_cast<platform::LPARAM>(text));
        };
        nil_answer = set("passed on");
        after_nil = platform::GetWindowText(h);
        main.view->set_text_answer = EventResult(0);
        zero_answer = set("swallowed");
        after_zero = platform::GetWindowText(h);
        main.view->set_text_answer = EventResult(true);
        true_answer = set("answered");
        after_true = platform::GetWindowText(h);
        main.dlg->End();
    });
    EXPECT_EQ(nil_answer, 1);
    EXPECT_EQ(after_nil, "passed on");
    EXPECT_EQ(zero_answer, 0);
    EXPECT_EQ(after_zero, "passed on");
    EXPECT_EQ(true_answer, 1);
    EXPECT_EQ(after_true, "passed on");
}

TEST_F(DispatchTest, CommNotifyCallsTheCallbackWithBothParameters) {
    MainLike main;
    std::vector<std::pair<platform::WPARAM, platform::LPARAM>> calls;
    platform::LRESULT without = -1, with = -1;
    main.run([&] {
        platform::HWND h = main.dlg->window();
        without = platform::SendMessage(h, platform::WM_COMMNOTIFY, 5, 1);
        main.dlg->bCommNotify = [&](platform::WPARAM w, platform::LPARAM l) {
            calls.emplace_back(w, l);
            return EventResult{};
        };
        with = platform::SendMessage(h, platform::WM_COMMNOTIFY, 7, 1);
        main.dlg->End();
    });
    EXPECT_EQ(without, 0);
    EXPECT_EQ(with, 0);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::pair<platform::WPARAM, platform::LPARAM>{7, 1}));
}

TEST_F(DispatchTest, CommNotifyFromAnotherThreadRunsOnTheInterfaceThreadInsideThePump) {
    MainLike main;
    const auto ui_thread = std::this_thread::get_id();
    std::thread::id callback_thread;
    std::atomic<bool> delivered{false};
    platform::WPARAM port = 0;
    main.run({}, [&] {
        platform::HWND h = main.dlg->window();
        main.dlg->bCommNotify = [&](platform::WPARAM w, platform::LPARAM) {
            callback_thread = std::this_thread::get_id();
            port = w;
            return EventResult{};
        };
        std::thread reader([&] {
            platform::SendMessage(h, platform::WM_COMMNOTIFY, 3, 1);
            delivered = true;
        });
        while (!delivered) {
            SYSREFRESH();
            WaitForMessage(std::chrono::milliseconds(20));
        }
        reader.join();
        main.dlg->End();
    });
    EXPECT_EQ(callback_thread, ui_thread);
    EXPECT_EQ(port, 3u);
}

TEST_F(DispatchTest, ColourRequestForTheLogIsAnsweredWithItsPaneBrush) {
    MainLike main;
    platform::LRESULT answer = 0;
    std::uintptr_t brush = 0;
    main.run([&] {
        brush = main.view->oBrush->hBrush;
        answer = platform::SendMessage(main.dlg->window(), platform::WM_CTLCOLORSTATIC, 0x1234,
                                       static_cast<platform::LPARAM>(main.view->window()));
        main.dlg->End();
    });
    EXPECT_EQ(main.view->oBrush->nColor, GetSysColor(COLOR_WINDOW));
    EXPECT_NE(brush, 0u);
    EXPECT_EQ(answer, static_cast<platform::LRESULT>(brush));
}

TEST_F(DispatchTest, EditNotificationsAreForwardedToTheLogObject) {
    MainLike main;
    main.run([&] {
        main.view->commands.clear();
        main.view->VarPut("line\r\n");
        main.view->Refresh();
        main.dlg->End();
    });
    EXPECT_NE(
        std::find(main.view->commands.begin(), main.view->commands.end(), platform::EN_CHANGE),
        main.view->commands.end());
}

TEST_F(DispatchTest, LinkedWindowsFindTheirObjectAndGiveTheProcedureBack) {
    MainLike main(1);
    platform::HWND log_handle = 0;
    platform::WNDPROC proc_while_linked = nullptr;
    std::intptr_t position = 0;
    main.run([&] {
        log_handle = main.view->window();
        proc_while_linked = platform::GetWindowProc(log_handle);
        position = platform::GetWindowLongPtr(log_handle, platform::GWLP_USERDATA);
        EXPECT_EQ(OWNDFROMHWND(log_handle), main.view.get());
        EXPECT_EQ(LinkedWindowAt(position), main.view.get());
        EXPECT_NE(main.view->nOldProc, nullptr);
        main.dlg->End();
    });
    EXPECT_EQ(proc_while_linked, &LinkedWindowProc);
    EXPECT_EQ(LinkedWindowAt(position), nullptr) << "the slot is freed at WM_DESTROY";
    EXPECT_EQ(main.view->nOldProc, nullptr);
    EXPECT_EQ(OWNDFROMHWND(log_handle), nullptr);

    // A second run reuses the freed slots rather than growing the table.
    MainLike again;
    std::intptr_t again_position = 0;
    again.run([&] {
        again_position = platform::GetWindowLongPtr(again.view->window(), platform::GWLP_USERDATA);
        again.dlg->End();
    });
    EXPECT_LE(again_position, position + 1);
}

TEST_F(DispatchTest, ObjectDyingBeforeItsWindowUnlinksItself) {
    MainLike main;
    bool passed_on = false;
    main.run([&] {
        auto lonely = TMultiGet::New({.oWnd = main.dlg.get(), .nWidth = 50, .lReadOnly = false});
        platform::HWND h = lonely->window();
        ASSERT_NE(h, platform::HWND{0});
        main.dlg->aControls.pop_back();
        lonely.reset();  // the object goes, its window stays
        EXPECT_NE(platform::GetWindowProc(h), &LinkedWindowProc);
        passed_on = platform::SetWindowText(h, "still works") &&
                    platform::GetWindowText(h) == "still works";
        main.dlg->End();
    });
    EXPECT_TRUE(passed_on);
}

}  // namespace
}  // namespace kadro::test
