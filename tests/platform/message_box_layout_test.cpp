#include "platform/message_box_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/message_box.h"
#include "platform/window.h"
#include "platform/window_system/window_system.h"
#include "testing/headless_test_display.h"

namespace kadro::test {
namespace {

using namespace platform;

// Every byte 7 pixels wide, except 'W' (13) and the ellipsis (9), so that widths that merely
// count bytes would be caught.
int measure(std::string_view text) {
    int width = 0;
    for (char c : text) {
        width += c == 'W' ? 13 : c == kAnsiEllipsis ? 9 : 7;
    }
    return width;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? end : end - start));
        if (end == std::string::npos) {
            return lines;
        }
        start = end + 2;
    }
}

void expect_inside(const MessageBoxLayout& layout, const MessageBoxShape& shape) {
    EXPECT_GE(layout.client_width, 1);
    EXPECT_GE(layout.client_height, 1);
    EXPECT_LE(layout.client_width, shape.screen.width());
    EXPECT_LE(layout.client_height, shape.screen.height());
    EXPECT_EQ(layout.line_count, static_cast<int>(lines_of(layout.text).size()));
    EXPECT_EQ(layout.text_height, layout.line_count * shape.line_height);
    for (const std::string& line : lines_of(layout.text)) {
        EXPECT_LE(measure(line), layout.text_width) << line;
    }
}

TEST(MessageBoxLayout, ShortTextStaysAsItIsAndBoxesAreAtLeastTheMinimumWide) {
    const MessageBoxShape shape{.has_icon = true, .button_count = 3};
    const MessageBoxLayout layout = LayOutMessageBox("Salvare?", shape, measure);
    EXPECT_EQ(layout.text, "Salvare?");
    EXPECT_FALSE(layout.cut);
    EXPECT_EQ(layout.text_width, kMessageBoxMinTextWidth);
    EXPECT_EQ(layout.text_x, kMessageBoxMargin + kMessageBoxIconSize + kMessageBoxIconGap);
    const int row = 3 * kMessageBoxButtonWidth + 2 * kMessageBoxButtonGap;
    EXPECT_EQ(layout.client_width, row + 2 * kMessageBoxMargin) << "the buttons set the width";
    EXPECT_EQ(layout.buttons_x, kMessageBoxMargin);
    EXPECT_EQ(layout.buttons_y, kMessageBoxMargin + kMessageBoxIconSize + kMessageBoxMargin);
    expect_inside(layout, shape);
}

TEST(MessageBoxLayout, WrapsAtBlanksKeepingLineBreaksAndEmptyLines) {
    // A column of 100 pixels: 14 bytes of 7 pixels.
    const MessageBoxShape shape{.screen = {0, 0, 165, 400}};
    const std::string text = "uno due tre quattro cinque\r\n\r\nsei  sette\notto";
    const MessageBoxLayout layout = LayOutMessageBox(text, shape, measure);
    EXPECT_EQ(lines_of(layout.text), (std::vector<std::string>{"uno due tre", "quattro cinque", "",
                                                               "sei  sette", "otto"}));
    expect_inside(layout, shape);
}

TEST(MessageBoxLayout, BreaksAWordLongerThanALineWithoutLosingACharacter) {
    const MessageBoxShape shape{.has_icon = true, .button_count = 1};
    std::string port;
    for (int i = 0; i < 300; ++i) {
        port.push_back(static_cast<char>(i % 3 == 0 ? 'W' : 'a' + i % 26));
    }
    const std::string text = "Errore di apertura della porta di comunicazione (" + port + ").";
    const MessageBoxLayout layout = LayOutMessageBox(text, shape, measure);
    EXPECT_FALSE(layout.cut);
    EXPECT_LE(layout.client_width, 1024 * 3 / 4);
    EXPECT_GT(layout.line_count, 3);
    std::string joined;
    for (const std::string& line : lines_of(layout.text)) {
        EXPECT_FALSE(line.empty());
        joined += line;
    }
    std::string without_wrap_blanks = text;
    without_wrap_blanks.erase(
        std::remove(without_wrap_blanks.begin(), without_wrap_blanks.end(), ' '),
        without_wrap_blanks.end());
    joined.erase(std::remove(joined.begin(), joined.end(), ' '), joined.end());
    EXPECT_EQ(joined, without_wrap_blanks);
    expect_inside(layout, shape);
}

TEST(MessageBoxLayout, HundredKilobytesAreCutWithTheEllipsisAndMeasuredOncePerByte) {
    const MessageBoxShape shape{.has_icon = true, .button_count = 2};
    int calls = 0;
    const TextMeasure counting = [&calls](std::string_view piece) {
        ++calls;
        return measure(piece);
    };
    const std::vector<std::string> texts = {
        std::string(100 * 1024, 'W'),
        [] {
            std::string words;
            while (words.size() < 100 * 1024) {
                words += "parola ";
            }
            return words;
        }(),
        [] {
            std::string lines;
            while (lines.size() < 100 * 1024) {
                lines += "riga\r\n";
            }
            return lines;
        }(),
    };
    for (const std::string& text : texts) {
        calls = 0;
        const MessageBoxLayout layout = LayOutMessageBox(text, shape, counting);
        EXPECT_TRUE(layout.cut);
        EXPECT_LE(calls, 256);
        EXPECT_EQ(layout.text.back(), kAnsiEllipsis);
        EXPECT_LE(layout.client_width, 1024 * 3 / 4);
        EXPECT_LE(layout.client_height, 768 * 3 / 4);
        EXPECT_LE(layout.line_count * 16, 768 * 3 / 4);
        EXPECT_LT(layout.text.size(), 20000u);
        expect_inside(layout, shape);
    }
}

TEST(MessageBoxLayout, TheEllipsisReplacesTheEndOfAFullLastLine) {
    // Three lines fit (48 + 60 fixed pixels in three quarters of 144); the column is 14 bytes.
    const MessageBoxShape shape{.screen = {0, 0, 165, 144}};
    const MessageBoxLayout layout =
        LayOutMessageBox("aaaaaaaaaaaaaa bbbbbbbbbbbbbb cccccccccccccc dddd", shape, measure);
    ASSERT_TRUE(layout.cut);
    const std::vector<std::string> lines = lines_of(layout.text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "cccccccccccc\x85");
}

TEST(MessageBoxLayout, TinyOrEmptyScreensStillGiveABoxThatFits) {
    for (RECT screen : {RECT{0, 0, 100, 50}, RECT{0, 0, 1, 1}, RECT{10, 10, 10, 10}}) {
        const MessageBoxShape shape{.has_icon = true, .button_count = 3, .screen = screen};
        const MessageBoxLayout layout = LayOutMessageBox(std::string(5000, 'x'), shape, measure);
        EXPECT_GE(layout.line_count, 1);
        EXPECT_GE(layout.client_width, 1);
        EXPECT_GE(layout.client_height, 1);
        EXPECT_LE(layout.client_width, std::max(1, screen.width()));
        EXPECT_LE(layout.client_height, std::max(1, screen.height()));
    }
    const MessageBoxLayout empty = LayOutMessageBox("", {}, measure);
    EXPECT_EQ(empty.text, "");
    EXPECT_EQ(empty.line_count, 1);
}

// The whole box on the (headless) screen: a text of 100 KB opens a box inside the screen
// whose static text shows the cut text, while the box reports the full text it was given.
TEST(MessageBoxOnScreen, AnyTextGivesABoxInsideTheScreen) {
    ScopedTestDisplay display;
    for (const std::string& text : {std::string(300, 'p'), std::string(100 * 1024, 'p')}) {
        RECT box_rect{};
        std::string shown;
        display.script().answers.push_back(BoxAnswer::run([&](HWND box) {
            GetWindowRect(box, &box_rect);
            for (HWND child : GetChildren(box)) {
                if (GetClassName(child) == "Static" && GetStaticIconId(child) == 0) {
                    shown = GetWindowText(child);
                }
            }
            PostMessage(box, WM_COMMAND, IDOK, 0);
        }));
        EXPECT_EQ(MessageBox(0, text, "Attenzione", MB_ICONINFORMATION | MB_OK), IDOK);
        const RECT screen = CurrentDisplay().screen_rect();
        EXPECT_GE(box_rect.left, screen.left);
        EXPECT_GE(box_rect.top, screen.top);
        EXPECT_LE(box_rect.right, screen.right);
        EXPECT_LE(box_rect.bottom, screen.bottom);
        EXPECT_LE(box_rect.width(), screen.width() * 3 / 4 + 16);
        EXPECT_FALSE(shown.empty());
        EXPECT_LT(shown.size(), 20000u);
        EXPECT_EQ(display.script().shown.back().text, text);
    }
    EXPECT_EQ(display.script().unanswered, 0);
}

}  // namespace
}  // namespace kadro::test
