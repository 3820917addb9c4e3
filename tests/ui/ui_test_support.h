#pragma once
// Shared pieces of the window-layer tests: a dialog and a log view that record what reaches
// them, a MAIN-like dialog builder, and a fixture that leaves the keyboard and the layer's
// module state as it found them.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/message_pump.h"
#include "ui/multi_get.h"
#include "ui/runtime_error.h"
#include "ui/window_layer_state.h"

namespace kadro::test {

// Posted by a test after its scenario: ends a dialog that is still on the screen, so that a
// failing expectation ends the modal loop instead of hanging it.
constexpr platform::UINT kFallbackEnd = platform::WM_USER + 1;
constexpr std::intptr_t kFallbackResult = 99;

class TestDialog : public TDialog {
  public:
    EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM w, platform::LPARAM l) override {
        if (nMsg == kFallbackEnd) {
            if (platform::IsWindowVisible(window())) {
                platform::EndDialog(window(), kFallbackResult);
            }
            return true;
        }
        if (nMsg == platform::WM_PAINT) {
            ++paints;
            ++paint_depth;
            EventResult r = TDialog::HandleEvent(nMsg, w, l);
            --paint_depth;
            return r;
        }
        if (nMsg == platform::WM_INITDIALOG) {
            init_lparam = l;
        }
        return TDialog::HandleEvent(nMsg, w, l);
    }

    int paints = 0;
    int paint_depth = 0;
    platform::LPARAM init_lparam = 0;
};

class TestLog : public TMultiGet {
  public:
    EventResult HandleEvent(platform::UINT nMsg, platform::WPARAM w, platform::LPARAM l) override {
        messages.push_back({0, nMsg, w, l});
        if (nMsg == platform::WM_SETTEXT && !set_text_answer.is_nil()) {
            return set_text_answer;
        }
        return TMultiGet::HandleEvent(nMsg, w, l);
    }
    EventResult Command(platform::WPARAM w, platform::LPARAM l) override {
        commands.push_back(platform::HIWORD(w));
        return TMultiGet::Command(w, l);
    }

    std::vector<platform::MSG> messages;
    std::vector<int> commands;    // notification codes forwarded by the dialog
    EventResult set_text_answer;  // what WM_SETTEXT is answered with; nil passes it on
};

// MAIN's dialog and log view (app/main_window.h), with a test caption and the log bound to `log`.
struct MainLike {
    std::shared_ptr<std::string> log = std::make_shared<std::string>();
    std::shared_ptr<TestDialog> dlg;
    std::shared_ptr<TestLog> view;

    explicit MainLike(int extra_logs = 0) {
        dlg = NewMainDialog<TestDialog>("KADRO 1.00 Test  (COM1:57600,N,8,1)  ");
        auto text = log;
        view = NewLogView<TestLog>([text](std::optional<std::string> v) {
            if (v) {
                *text = *v;
            }
            return *text;
        });
        for (int i = 0; i < extra_logs; ++i) {
            extra.push_back(TMultiGet::New<TestLog>({.nRow = 100 * (i + 1), .lReadOnly = true}));
        }
    }

    // Activates as MAIN does: centred, the log made the client control in the init callback,
    // then `init` and `start` (when given) run as the init and start callbacks' bodies.
    void run(std::function<void()> init = {}, std::function<void()> start = {},
             std::function<bool(TWindow&)> valid = {}) {
        if (start) {
            dlg->bStart = start;
        }
        ActivateMainDialog(*dlg, *view, valid, [init] {
            if (init) {
                init();
            }
            return EventResult{};
        });
    }

    std::vector<std::shared_ptr<TestLog>> extra;
};

class UiTest : public ::testing::Test {
  protected:
    void TearDown() override {
        for (int key :
             {platform::VK_ESCAPE, platform::VK_F4, platform::VK_MENU, platform::VK_CONTROL,
              platform::VK_SHIFT, platform::VK_TAB, platform::VK_DELETE, platform::VK_RETURN,
              int{'X'}, int{'V'}, int{'Z'}, int{'C'}}) {
            platform::SetAsyncKeyState(key, false);
        }
        SYSREFRESH();
        SetRuntimeErrorHandler({});
        EXPECT_EQ(ModalStackTop(), kModalStackSlots);
        EXPECT_EQ(ActivationCount(), 0);
        EXPECT_FALSE(WindowLayer().main_loop);
    }
};

}  // namespace kadro::test
