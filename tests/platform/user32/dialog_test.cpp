// Modal dialogs from in-memory templates, message boxes, the file chooser, the clipboard and
// accelerators of the Win32 window system, answered through a CBT hook.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/accelerator.h"
#include "platform/clipboard.h"
#include "platform/dialog.h"
#include "platform/file_chooser.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "tests/platform/user32/win32_test_support.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

constexpr platform::WORD kLogId = 101;
constexpr platform::DWORD kLogStyle = 0x50A11804;  // the log view's style
constexpr platform::UINT kNotify = 0x0044;
constexpr platform::LPARAM kEndAtInit = 1;
constexpr platform::LPARAM kEndAtPaint = 2;

struct DialogRun {
    platform::HWND window = 0;
    platform::HWND focus_at_init = 0;
    platform::LPARAM init_param = 0;
    bool painted = false;
    bool visible_at_paint = false;
    int notifications = 0;
    platform::LRESULT colour_answer = 0;
};
DialogRun g_run;

std::intptr_t TestDialogProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                             platform::LPARAM lparam) {
    switch (msg) {
        case WM_INITDIALOG:
            g_run.window = hwnd;
            g_run.focus_at_init = static_cast<platform::HWND>(wparam);
            g_run.init_param = lparam;
            if (lparam == kEndAtInit) {
                platform::EndDialog(hwnd, 42);
            }
            return 1;
        case WM_PAINT:
            if (!g_run.painted) {
                g_run.painted = true;
                g_run.visible_at_paint = platform::IsWindowVisible(hwnd);
                if (g_run.init_param == kEndAtPaint) {
                    platform::PostMessage(hwnd, WM_COMMAND, IDCANCEL, 0);
                }
            }
            return 0;
        case kNotify:
            ++g_run.notifications;
            platform::EndDialog(hwnd, 7);
            return 1;
        case WM_CTLCOLORSTATIC:
            return 0x7F000002;  // a brush handle of the window layer's own numbering
        case WM_COMMAND:
            if (LOWORD(wparam) == IDCANCEL) {
                platform::EndDialog(hwnd, IDCANCEL);
                return 1;
            }
            return 0;
        default:
            return 0;
    }
}

std::string MainWindowTemplate() {
    TemplateBuilder t(0, 251, 251, "KADRO \xE8");
    t.add_item(kLogStyle, 0, 0, 200, 80, kLogId, "EDIT");
    return t.bytes();
}

TEST(Win32Dialogs, DialogEndedDuringInitialisationIsNeverShown) {
    g_run = DialogRun{};
    const std::intptr_t result =
        platform::DialogBoxIndirectParam(MainWindowTemplate(), 0, &TestDialogProc, kEndAtInit);
    EXPECT_EQ(result, 42);
    EXPECT_NE(g_run.window, 0u);
    EXPECT_EQ(g_run.init_param, kEndAtInit);
    EXPECT_FALSE(g_run.painted);
    EXPECT_FALSE(platform::IsWindow(g_run.window));
}

TEST(Win32Dialogs, TemplateMakesTheTitledDialogWithItsEditShownAndPainted) {
    g_run = DialogRun{};
    std::wstring title;
    std::string edit_class;
    platform::HWND edit = 0;
    ActivationHook hook([&](::HWND window) {
        title = WideText(window);
        edit = platform::GetDlgItem(reinterpret_cast<platform::HWND>(window), kLogId);
        edit_class = platform::GetClassName(edit);
    });
    const std::intptr_t result =
        platform::DialogBoxIndirectParam(MainWindowTemplate(), 0, &TestDialogProc, kEndAtPaint);
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(title, L"KADRO \u00E8");
    EXPECT_EQ(edit_class, "Edit");
    EXPECT_EQ(g_run.focus_at_init, edit);  // the first control that takes Tab stops
    EXPECT_TRUE(g_run.painted);
    EXPECT_TRUE(g_run.visible_at_paint);
}

TEST(Win32Dialogs, MalformedTemplateIsRefused) {
    std::string cut = MainWindowTemplate();
    cut.resize(cut.size() - 10);
    EXPECT_EQ(platform::DialogBoxIndirectParam(cut, 0, &TestDialogProc, 0), -1);
    EXPECT_EQ(platform::DialogBoxIndirectParam("", 0, &TestDialogProc, 0), -1);
}

TEST(Win32Dialogs, ColourAnswerThatIsNoRealBrushBecomesTheWindowBrush) {
    g_run = DialogRun{};
    LRESULT answer = 0;
    ActivationHook hook([&](::HWND window) {
        HDC dc = GetDC(window);
        answer = SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(GetDlgItem(window, kLogId)));
        ReleaseDC(window, dc);
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    });
    platform::DialogBoxIndirectParam(MainWindowTemplate(), 0, &TestDialogProc, 0);
    EXPECT_EQ(reinterpret_cast<HBRUSH>(answer), GetSysColorBrush(COLOR_WINDOW));
}

TEST(Win32Dialogs, GateSendReachesTheDialogInsideItsModalLoop) {
    g_run = DialogRun{};
    platform::SendGate gate;
    std::thread reader;
    std::atomic<bool> delivered{false};
    ActivationHook hook([&](::HWND window) {
        if (reader.joinable()) {
            return;
        }
        reader = std::thread([&gate, &delivered, window] {
            bool d = false;
            gate.send(reinterpret_cast<platform::HWND>(window), kNotify, 3, 1, &d);
            delivered = d;
        });
    });
    const std::intptr_t result =
        platform::DialogBoxIndirectParam(MainWindowTemplate(), 0, &TestDialogProc, 0);
    reader.join();
    EXPECT_EQ(result, 7);
    EXPECT_EQ(g_run.notifications, 1);
    EXPECT_TRUE(delivered.load());
}

// ---- message boxes ----

TEST(Win32MessageBoxes, BoxShowsTheTextAndAnswersWithThePressedButton) {
    platform::MessageBoxContent content;
    std::wstring shown_text;
    static platform::MessageBoxContent* s_content = nullptr;
    s_content = &content;
    ActivationHook hook([&](::HWND box) {
        shown_text = WideText(GetDlgItem(box, 0xFFFF));
        // Read once the box is up and has given its default button the focus, then answer.
        SetTimer(box, 1, 50, [](::HWND up, UINT, UINT_PTR, DWORD) {
            KillTimer(up, 1);
            platform::GetMessageBoxContent(reinterpret_cast<platform::HWND>(up), s_content);
            PostMessageW(up, WM_COMMAND, IDYES, 0);
        });
    });
    const int answer = platform::MessageBox(0, "Perch\xE8?\r\nRiga due", "Attenzione",
                                            MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2);
    EXPECT_EQ(answer, IDYES);
    EXPECT_EQ(shown_text, L"Perch\u00E8?\r\nRiga due");
    EXPECT_EQ(content.caption, "Attenzione");
    EXPECT_EQ(content.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_EQ(content.default_button, IDNO);
}

TEST(Win32MessageBoxes, EscapeOnAnOkCancelBoxCountsAsCancel) {
    ActivationHook hook([](::HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(platform::MessageBox(0, "x", "y", MB_ICONHAND | MB_OKCANCEL), IDCANCEL);
}

// ---- the file chooser ----

TEST(Win32FileChooser, CancelGivesNothingAndKeepsTheCurrentDirectory) {
    const auto before = std::filesystem::current_path();
    ActivationHook hook([](::HWND chooser) { PostMessageW(chooser, WM_COMMAND, IDCANCEL, 0); });
    platform::OPENFILENAME ofn;
    ofn.filter = u"File VKS (*.vks)\0*.vks\0\0"s;
    ofn.title = u"Seleziona immagine da inviare";
    ofn.flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    ofn.file = u"gi\u00E0.vks";
    EXPECT_FALSE(platform::GetOpenFileName(&ofn));
    EXPECT_TRUE(ofn.file.empty());
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST(Win32FileChooser, TypedNameInAnotherFolderComesBackWholeAndTheDirectoryStays) {
    const auto before = std::filesystem::current_path();
    const auto folder = std::filesystem::temp_directory_path() / L"kadro chooser \u00E8";
    std::filesystem::create_directories(folder);
    const std::wstring typed = (folder / L"nuova.vks").wstring();  // need not exist
    ActivationHook hook([&](::HWND chooser) {
        // The name field: a combo box on current systems, an edit box on older ones.
        for (int id : {0x47C, 0x480}) {
            SetDlgItemTextW(chooser, id, typed.c_str());
        }
        PostMessageW(chooser, WM_COMMAND, IDOK, 0);
    });
    platform::OPENFILENAME ofn;
    ofn.filter = u"File VKS (*.vks)\0*.vks\0\0"s;
    ofn.initial_dir = std::u16string(u"C:\\");
    ofn.flags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    ASSERT_TRUE(platform::GetOpenFileName(&ofn));
    EXPECT_EQ(std::wstring(ofn.file.begin(), ofn.file.end()), typed);
    EXPECT_EQ(std::filesystem::current_path(), before);
    std::filesystem::remove_all(folder);
}

// ---- clipboard and accelerators ----

TEST(Win32Clipboard, TextRoundTripsThroughTheSystemClipboardInTheAnsiCodePage) {
    ASSERT_TRUE(platform::SetClipboardText("Citt\xE0"));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE data = GetClipboardData(CF_UNICODETEXT);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(GlobalLock(data))), L"Citt\u00E0");
    GlobalUnlock(data);
    CloseClipboard();
    EXPECT_EQ(platform::GetClipboardText(), "Citt\xE0");
    platform::EmptyClipboard();
    EXPECT_EQ(platform::GetClipboardText(), "");
}

platform::WPARAM g_command = 0;

platform::LRESULT CommandProc(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                              platform::LPARAM lparam) {
    if (msg == WM_COMMAND) {
        g_command = wparam;
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

TEST(Win32Accelerators, MatchingKeyBecomesACommandOthersPassThrough) {
    static const bool registered = platform::RegisterClass("KadroCommands", &CommandProc);
    ASSERT_TRUE(registered || platform::IsClassRegistered("KadroCommands"));
    platform::HWND w =
        platform::CreateWindowEx(0, "KadroCommands", "", WS_OVERLAPPED, 0, 0, 10, 10, 0, 0);
    ASSERT_NE(w, 0u);
    const platform::AcceleratorTable table{{VK_F5, 0, 77}};
    g_command = 0;
    platform::MSG f5{w, WM_KEYDOWN, VK_F5, 0x003F0001, 0};
    EXPECT_TRUE(platform::TranslateAccelerator(w, &table, &f5));
    EXPECT_EQ(g_command, MAKEWPARAM(77, 1));
    g_command = 0;
    platform::MSG f6{w, WM_KEYDOWN, VK_F6, 0x00400001, 0};
    EXPECT_FALSE(platform::TranslateAccelerator(w, &table, &f6));
    EXPECT_EQ(g_command, 0u);
    platform::DestroyWindow(w);
}

}  // namespace
}  // namespace kadro::test
