#include <gtest/gtest.h>

#include "platform/dialog.h"
#include "platform/dialog_template.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "tests/platform/template_bytes.h"

namespace kadro::test {
namespace {

using namespace platform;

constexpr DWORD kLogStyle = 0x50A11804;

// The main window's template as the window layer builds it: style 0, 251 x 251 units, the log
// as an "EDIT" item named by string, plus a button named by atom.
TemplateBytes main_window_template() {
    TemplateBytes t;
    t.header(0, 2, 10, 20, 251, 251, "KADRO 1.0");
    t.item(kLogStyle, 0, 0, 200, 80, 101, std::string_view("EDIT"), "");
    t.item(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 4, 90, 50, 14, IDOK, 0x0080,
           "OK");
    return t;
}

TEST(DialogTemplate, ReadsHeaderItemsClassNamesAndAtoms) {
    auto parsed = ParseDialogTemplate(main_window_template().bytes());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->style, 0u);
    EXPECT_EQ(parsed->x, 10);
    EXPECT_EQ(parsed->y, 20);
    EXPECT_EQ(parsed->cx, 251);
    EXPECT_EQ(parsed->cy, 251);
    EXPECT_EQ(parsed->title, "KADRO 1.0");
    EXPECT_TRUE(parsed->class_name.empty());
    ASSERT_EQ(parsed->items.size(), 2u);

    const auto& log = parsed->items[0];
    EXPECT_EQ(log.style, kLogStyle);
    EXPECT_EQ(log.ex_style, 0u);
    EXPECT_EQ(log.cx, 200);
    EXPECT_EQ(log.cy, 80);
    EXPECT_EQ(log.id, 101);
    EXPECT_EQ(log.class_name, "EDIT");
    EXPECT_EQ(log.class_atom, 0);
    EXPECT_EQ(log.title, "");

    const auto& button = parsed->items[1];
    EXPECT_EQ(button.class_name, "Button");
    EXPECT_EQ(button.class_atom, 0x0080);
    EXPECT_EQ(button.title, "OK");
    EXPECT_EQ(button.x, 4);
    EXPECT_EQ(button.y, 90);
    EXPECT_EQ(button.id, IDOK);
}

TEST(DialogTemplate, RefusesEveryTruncationAndTheExtendedLayout) {
    const std::string bytes = main_window_template().bytes();
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        EXPECT_FALSE(ParseDialogTemplate(std::string_view(bytes).substr(0, n)).has_value())
            << "prefix of " << n << " bytes";
    }
    TemplateBytes extended;
    extended.word(1).word(0xFFFF).dword(0).dword(0).dword(0).word(0);
    extended.word(0).word(0).word(10).word(10).word(0).word(0).text("x");
    EXPECT_FALSE(ParseDialogTemplate(extended.bytes()).has_value());
}

TEST(DialogTemplate, TitlesGoThroughTheAnsiPageAndOrdinalsBecomeNames) {
    TemplateBytes t;
    t.dword(WS_POPUP).dword(0).word(1).word(0).word(0).word(50).word(50).word(0).word(0);
    t.word(0x20AC).word(0xE0).word(0x4E00).word(0);  // euro sign, a-grave, a CJK character
    t.item(WS_CHILD | SS_ICON, 0, 0, 16, 16, 7, 0x0082, "");
    std::string bytes = t.bytes();
    // Replace the icon item's empty title by the ordinal 32515.
    bytes.resize(bytes.size() - 4);
    TemplateBytes tail;
    tail.atom(32515).word(0);
    bytes += tail.bytes();

    auto parsed = ParseDialogTemplate(bytes);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->title, "\x80\xE0?");
    ASSERT_EQ(parsed->items.size(), 1u);
    EXPECT_EQ(parsed->items[0].class_name, "Static");
    EXPECT_EQ(parsed->items[0].title, "#32515");
}

TEST(DialogTemplate, AFontEntryIsReadAndTheItemsAfterItStayInPlace) {
    TemplateBytes t;
    t.header(WS_POPUP | DS_SETFONT, 1, 0, 0, 100, 60, "Font");
    t.word(9).text("Segoe UI");
    t.item(WS_CHILD | WS_VISIBLE, 3, 4, 50, 14, 1000, 0x0082, "label");
    auto parsed = ParseDialogTemplate(t.bytes());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->title, "Font");
    EXPECT_TRUE(parsed->has_font);
    EXPECT_EQ(parsed->font_point_size, 9);
    EXPECT_EQ(parsed->font_face, "Segoe UI");
    ASSERT_EQ(parsed->items.size(), 1u);
    const auto& label = parsed->items[0];
    EXPECT_EQ(label.style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_EQ(label.x, 3);
    EXPECT_EQ(label.y, 4);
    EXPECT_EQ(label.cx, 50);
    EXPECT_EQ(label.cy, 14);
    EXPECT_EQ(label.id, 1000);
    EXPECT_EQ(label.class_name, "Static");
    EXPECT_EQ(label.title, "label");
}

TEST(DialogUnits, ComeFromTheHeadlessCellOf8By16) {
    long units = GetDialogBaseUnits();
    EXPECT_EQ(LOWORD(static_cast<std::uintptr_t>(units)), 8);
    EXPECT_EQ(HIWORD(static_cast<std::uintptr_t>(units)), 16);
    EXPECT_EQ(DialogUnitsToPixels({0, 0, 251, 251}), (RECT{0, 0, 502, 502}));
    EXPECT_EQ(DialogUnitsToPixels({3, 5, 203, 85}), (RECT{6, 10, 406, 170}));
}

struct Built {
    RECT window{};
    RECT client{};
    std::string title;
    std::vector<std::string> classes;
    std::vector<int> ids;
    RECT log_rect{};
    RECT log_client{};
    DWORD log_style = 0;
};
Built g_built;

std::intptr_t capture_proc(HWND dialog, UINT msg, WPARAM, LPARAM) {
    if (msg != WM_INITDIALOG) {
        return 0;
    }
    GetWindowRect(dialog, &g_built.window);
    GetClientRect(dialog, &g_built.client);
    g_built.title = GetWindowText(dialog);
    for (HWND child : GetChildren(dialog)) {
        g_built.classes.push_back(GetClassName(child));
        g_built.ids.push_back(GetDlgCtrlID(child));
    }
    HWND log = GetDlgItem(dialog, 101);
    GetWindowRect(log, &g_built.log_rect);
    GetClientRect(log, &g_built.log_client);
    g_built.log_style = static_cast<DWORD>(GetWindowLongPtr(log, GWL_STYLE));
    EndDialog(dialog, 9);
    return 1;
}

TEST(DialogBox, BuildsTheWindowAndItsControlsFromTheTemplate) {
    g_built = {};
    EXPECT_EQ(DialogBoxIndirectParam(main_window_template().bytes(), 0, capture_proc, 0), 9);

    EXPECT_EQ(g_built.client, (RECT{0, 0, 502, 502}));
    RECT frame = AdjustWindowRect({0, 0, 502, 502}, 0, false);
    EXPECT_EQ(g_built.window.left, 20);
    EXPECT_EQ(g_built.window.top, 40);
    EXPECT_EQ(g_built.window.width(), frame.width());
    EXPECT_EQ(g_built.window.height(), frame.height());
    EXPECT_EQ(g_built.title, "KADRO 1.0");
    EXPECT_EQ(g_built.classes, (std::vector<std::string>{"Edit", "Button"}));
    EXPECT_EQ(g_built.ids, (std::vector<int>{101, IDOK}));
    // 200 x 80 units are 400 x 160 pixels; border and vertical bar come off the client area.
    EXPECT_EQ(g_built.log_rect.width(), 400);
    EXPECT_EQ(g_built.log_rect.height(), 160);
    EXPECT_EQ(g_built.log_client, (RECT{0, 0, 400 - 2 - kScrollBarWidth, 160 - 2}));
    EXPECT_EQ(g_built.log_style & ~WS_VISIBLE, kLogStyle & ~WS_VISIBLE);
}

int g_init_calls = 0;

std::intptr_t refusing_create_proc(HWND dialog, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_CREATE) {
        SetWindowLongPtr(dialog, DWLP_MSGRESULT, -1);
        return 1;
    }
    if (msg == WM_INITDIALOG) {
        ++g_init_calls;
    }
    return 0;
}

std::intptr_t counting_proc(HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_INITDIALOG) {
        ++g_init_calls;
    }
    return 0;
}

TEST(DialogBox, AnswersMinusOneWhenTheWindowCannotBeCreated) {
    g_init_calls = 0;
    EXPECT_EQ(DialogBoxIndirectParam("", 0, counting_proc, 0), -1);
    std::string truncated = main_window_template().bytes();
    truncated.pop_back();
    EXPECT_EQ(DialogBoxIndirectParam(truncated, 0, counting_proc, 0), -1);

    TemplateBytes unknown_class;
    unknown_class.header(0, 1, 0, 0, 50, 50, "x");
    unknown_class.item(WS_CHILD, 0, 0, 10, 10, 5, std::string_view("NoSuchClass"), "");
    EXPECT_EQ(DialogBoxIndirectParam(unknown_class.bytes(), 0, counting_proc, 0), -1);

    TemplateBytes plain;
    plain.header(0, 0, 0, 0, 50, 50, "x");
    EXPECT_EQ(DialogBoxIndirectParam(plain.bytes(), 0, refusing_create_proc, 0), -1);
    EXPECT_EQ(g_init_calls, 0);
    EXPECT_TRUE(GetTopLevelWindows().empty());
}

}  // namespace
}  // namespace kadro::test
