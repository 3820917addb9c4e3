#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>

#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "tests/platform/template_bytes.h"

namespace kadro::test {
namespace {

using namespace platform;

constexpr UINT kStep = WM_USER + 1;
constexpr int kButtonA = 10;
constexpr int kLabel = 11;
constexpr int kEdit = 12;
constexpr int kButtonB = 13;

struct Seen {
    UINT msg;
    WPARAM wparam;
    LPARAM lparam;
    bool visible;
};

// What the dialog procedure saw and what it is to do; reset by the fixture.
struct Trace {
    HWND dialog = 0;
    std::vector<Seen> seen;
    std::vector<std::pair<int, LPARAM>> commands;  // IDOK / IDCANCEL: id, lParam
    std::vector<HWND> destroyed;
    std::intptr_t init_answer = 1;
    std::function<void(HWND)> on_init;
    std::function<void(HWND)> on_first_paint;
    std::deque<std::function<void(HWND)>> steps;
    bool painted = false;
    WNDPROC edit_proc = nullptr;
};
Trace g;

std::intptr_t test_proc(HWND dialog, UINT msg, WPARAM wparam, LPARAM lparam) {
    g.seen.push_back({msg, wparam, lparam, IsWindowVisible(dialog)});
    switch (msg) {
        case WM_INITDIALOG:
            g.dialog = dialog;
            if (g.on_init) {
                g.on_init(dialog);
            }
            return g.init_answer;
        case WM_PAINT:
            if (!g.painted) {
                g.painted = true;
                if (!g.steps.empty()) {
                    PostMessage(dialog, kStep, 0, 0);
                }
                if (g.on_first_paint) {
                    g.on_first_paint(dialog);
                }
            }
            return 0;
        case kStep:
            if (!g.steps.empty()) {
                auto step = std::move(g.steps.front());
                g.steps.pop_front();
                step(dialog);
                if (!g.steps.empty()) {
                    PostMessage(dialog, kStep, 0, 0);
                }
            }
            return 1;
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL || LOWORD(wparam) == IDOK) {
                g.commands.emplace_back(LOWORD(wparam), lparam);
                EndDialog(dialog, LOWORD(wparam));
            }
            return 1;
        case WM_DESTROY:
            g.destroyed.push_back(dialog);
            return 0;
        case WM_USER + 5:
            SetWindowLongPtr(dialog, DWLP_MSGRESULT, 77);
            return 1;
        case WM_USER + 6:
            return 1;
        case WM_CTLCOLORSTATIC:
            return 1234;
        default:
            return 0;
    }
}

LRESULT logging_edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_DESTROY) {
        g.destroyed.push_back(hwnd);
    }
    return CallWindowProc(g.edit_proc, hwnd, msg, wparam, lparam);
}

std::string controls_template() {
    TemplateBytes t;
    t.header(WS_POPUP | WS_CAPTION, 4, 0, 0, 200, 100, "Test");
    t.item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 5, 5, 40, 14, kButtonA, 0x0080, "A");
    t.item(WS_CHILD | WS_VISIBLE, 5, 25, 40, 10, kLabel, 0x0082, "label");
    t.item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_MULTILINE, 5, 40, 100, 30, kEdit, 0x0081,
           "hello");
    t.item(WS_CHILD | WS_VISIBLE | WS_TABSTOP, 60, 5, 40, 14, kButtonB, 0x0080, "B");
    return t.bytes();
}

void press(int vk) {
    InjectKeyDown(vk);
    InjectKeyUp(vk);
}

std::size_t first_index(UINT msg) {
    auto it =
        std::find_if(g.seen.begin(), g.seen.end(), [&](const Seen& s) { return s.msg == msg; });
    return static_cast<std::size_t>(it - g.seen.begin());
}

class DialogManager : public ::testing::Test {
  protected:
    void SetUp() override { g = Trace{}; }
    void TearDown() override {
        for (int vk : {VK_SHIFT, VK_MENU, VK_TAB, VK_ESCAPE, VK_F4}) {
            SetAsyncKeyState(vk, false);
        }
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) {
        }
        EXPECT_TRUE(GetTopLevelWindows().empty());
    }
};

TEST_F(DialogManager, InitialisesBeforeShowingAndPaintsOnlyAfterwards) {
    HWND focus_at_paint = 0;
    g.on_first_paint = [&](HWND dialog) {
        focus_at_paint = GetFocus();
        EXPECT_EQ(focus_at_paint, GetDlgItem(dialog, kButtonA));
        EndDialog(dialog, 4);
    };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 4);

    ASSERT_FALSE(g.seen.empty());
    EXPECT_EQ(g.seen.front().msg, WM_CREATE) << "the procedure sees creation messages too";
    std::size_t init = first_index(WM_INITDIALOG);
    std::size_t paint = first_index(WM_PAINT);
    ASSERT_LT(init, g.seen.size());
    ASSERT_LT(paint, g.seen.size());
    EXPECT_LT(init, paint);
    EXPECT_FALSE(g.seen[init].visible);
    EXPECT_EQ(g.seen[init].wparam, static_cast<WPARAM>(focus_at_paint))
        << "wParam names the first tab stop";
    EXPECT_TRUE(g.seen[paint].visible);
    EXPECT_FALSE(IsWindow(g.dialog));
}

TEST_F(DialogManager, DialogEndedDuringInitialisationIsNeverShownNorPainted) {
    g.on_init = [](HWND dialog) { EndDialog(dialog, 7); };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 7);
    for (const Seen& s : g.seen) {
        EXPECT_NE(s.msg, WM_PAINT);
        EXPECT_FALSE(s.msg == WM_SHOWWINDOW && s.wparam != 0);
        EXPECT_FALSE(s.visible);
    }
    EXPECT_FALSE(g.painted);
    EXPECT_FALSE(IsWindow(g.dialog));
}

TEST_F(DialogManager, EndTakesTheWindowOffAtOnceButTheLoopEndsOnlyWhenControlReturns) {
    bool alive_after_pumping = false;
    bool visible_after_end = true;
    g.on_first_paint = [&](HWND dialog) {
        ASSERT_TRUE(EndDialog(dialog, 5));
        visible_after_end = IsWindowVisible(dialog);
        // A long-running handler keeps pumping, as the command loop does.
        PostMessage(dialog, WM_USER + 6, 0, 0);
        MSG m;
        while (PeekMessage(&m, 0, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessage(&m);
        }
        alive_after_pumping = IsWindow(dialog);
    };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 5);
    EXPECT_FALSE(visible_after_end);
    EXPECT_TRUE(alive_after_pumping);
    EXPECT_FALSE(IsWindow(g.dialog));
    EXPECT_FALSE(EndDialog(g.dialog, 1)) << "no dialog any more";
}

TEST_F(DialogManager, TabMovesTheFocusAmongTabStopsUnlessTheControlWantsIt) {
    std::vector<int> focus;  // ids, read while the controls exist
    std::uintptr_t selection = 0;
    g.steps = {
        [](HWND) { press(VK_TAB); },
        [&](HWND dialog) {
            focus.push_back(GetDlgCtrlID(GetFocus()));
            selection = static_cast<std::uintptr_t>(
                SendMessage(GetDlgItem(dialog, kEdit), EM_GETSEL, 0, 0));
            press(VK_TAB);  // a multi-line edit control asks for every key
        },
        [&](HWND dialog) {
            focus.push_back(GetDlgCtrlID(GetFocus()));
            SetFocus(GetDlgItem(dialog, kButtonB));
            press(VK_TAB);
        },
        [&](HWND) {
            focus.push_back(GetDlgCtrlID(GetFocus()));
            SetAsyncKeyState(VK_SHIFT, true);
            press(VK_TAB);
        },
        [&](HWND dialog) {
            SetAsyncKeyState(VK_SHIFT, false);
            focus.push_back(GetDlgCtrlID(GetFocus()));
            EndDialog(dialog, 1);
        },
    };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 1);
    ASSERT_EQ(focus.size(), 4u);
    EXPECT_EQ(focus[0], kEdit) << "skips the label, which is no tab stop";
    EXPECT_EQ(selection, MAKELONG(0, 5)) << "entering an edit control selects its text";
    EXPECT_EQ(focus[1], kEdit);
    EXPECT_EQ(focus[2], kButtonA) << "wraps around after the last tab stop";
    EXPECT_EQ(focus[3], kButtonB) << "Shift+Tab goes backwards";
}

TEST_F(DialogManager, EscapeBecomesCancelUnlessTheFocusedControlWantsAllKeys) {
    std::size_t commands_after_edit_escape = 99;
    g.steps = {
        [](HWND dialog) {
            SetFocus(GetDlgItem(dialog, kEdit));
            press(VK_ESCAPE);
        },
        [&](HWND dialog) {
            commands_after_edit_escape = g.commands.size();
            SetFocus(GetDlgItem(dialog, kButtonA));
            press(VK_ESCAPE);
        },
    };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), IDCANCEL);
    EXPECT_EQ(commands_after_edit_escape, 0u);
    ASSERT_EQ(g.commands.size(), 1u);
    EXPECT_EQ(g.commands[0], (std::pair<int, LPARAM>{IDCANCEL, 0}));
}

TEST_F(DialogManager, AltF4BecomesCloseAndThenCancel) {
    g.steps = {[](HWND) {
        SetAsyncKeyState(VK_MENU, true);
        press(VK_F4);
        SetAsyncKeyState(VK_MENU, false);
    }};
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), IDCANCEL);
    std::size_t syscommand = first_index(WM_SYSCOMMAND);
    std::size_t close = first_index(WM_CLOSE);
    auto cancel = std::find_if(g.seen.begin(), g.seen.end(), [](const Seen& s) {
        return s.msg == WM_COMMAND && LOWORD(s.wparam) == IDCANCEL;
    });
    std::size_t command = static_cast<std::size_t>(cancel - g.seen.begin());
    ASSERT_LT(command, g.seen.size());
    EXPECT_EQ(g.seen[syscommand].wparam & 0xFFF0, SC_CLOSE);
    EXPECT_LT(syscommand, close);
    EXPECT_LT(close, command);
    EXPECT_EQ(LOWORD(g.seen[command].wparam), IDCANCEL);
    EXPECT_EQ(g.seen[command].lparam, 0);
}

TEST_F(DialogManager, DestroysTheDialogBeforeItsControls) {
    HWND edit = 0;
    g.on_init = [&](HWND dialog) {
        edit = GetDlgItem(dialog, kEdit);
        g.edit_proc = SetWindowProc(edit, logging_edit_proc);
        EndDialog(dialog, 3);
    };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 3);
    EXPECT_EQ(g.destroyed, (std::vector<HWND>{g.dialog, edit}));
}

LRESULT plain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProc(hwnd, msg, wparam, lparam);
}

TEST_F(DialogManager, DisablesTheOwnerWhileTheLoopRuns) {
    RegisterClass("DialogTestOwner", plain_proc);
    HWND owner =
        CreateWindowEx(0, "DialogTestOwner", "owner", WS_VISIBLE, 100, 100, 300, 200, 0, 0);
    ASSERT_NE(owner, 0u);
    bool owner_enabled_during = true;
    RECT dialog_rect{};
    g.on_first_paint = [&](HWND dialog) {
        owner_enabled_during = IsWindowEnabled(owner);
        GetWindowRect(dialog, &dialog_rect);
        EndDialog(dialog, 1);
    };
    TemplateBytes t;
    t.header(WS_POPUP | WS_CAPTION, 0, 10, 5, 50, 50, "owned");
    EXPECT_EQ(DialogBoxIndirectParam(t.bytes(), owner, test_proc, 0), 1);
    EXPECT_FALSE(owner_enabled_during);
    EXPECT_TRUE(IsWindowEnabled(owner));
    POINT origin{};
    ClientToScreen(owner, &origin);
    EXPECT_EQ(dialog_rect.left, origin.x + 20) << "placed relative to the owner's client area";
    EXPECT_EQ(dialog_rect.top, origin.y + 10);
    DestroyWindow(owner);
}

TEST_F(DialogManager, AnswersFromTheResultSlotExceptForDirectMessages) {
    LRESULT slot = 0;
    LRESULT slot_not_set = -1;
    LRESULT colour = 0;
    LRESULT unhandled_close = -1;
    g.on_init = [&](HWND dialog) {
        slot = SendMessage(dialog, WM_USER + 5, 0, 0);
        slot_not_set = SendMessage(dialog, WM_USER + 6, 0, 0);
        colour = SendMessage(dialog, WM_CTLCOLORSTATIC, 0, 0);
        unhandled_close = SendMessage(dialog, WM_CLOSE, 0, 0);
    };
    g.on_first_paint = [](HWND) {};
    TemplateBytes t;
    t.header(WS_POPUP, 0, 0, 0, 50, 50, "");
    // WM_CLOSE goes to the default handling, which posts the cancel command.
    EXPECT_EQ(DialogBoxIndirectParam(t.bytes(), 0, test_proc, 0), IDCANCEL);
    EXPECT_EQ(slot, 77);
    EXPECT_EQ(slot_not_set, 0);
    EXPECT_EQ(colour, 1234);
    EXPECT_EQ(unhandled_close, 0);
}

TEST_F(DialogManager, QuitMessageEndsTheLoopAndIsPostedAgain) {
    g.on_first_paint = [](HWND) { PostQuitMessage(3); };
    EXPECT_EQ(DialogBoxIndirectParam(controls_template(), 0, test_proc, 0), 0);
    MSG m{};
    bool quit = false;
    while (!quit && PeekMessage(&m, 0, 0, 0, PM_REMOVE)) {
        quit = m.message == WM_QUIT;
    }
    ASSERT_TRUE(quit);
    EXPECT_EQ(m.wParam, 3u);
}

}  // namespace
}  // namespace kadro::test
