// The screen display's pure parts: text conversion, key mapping, the key-state rule, the row
// drawing plan of edit controls, scroll bar geometry and the chooser request. What needs an X
// server is exercised by gui_session.py.

#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include "platform/fltk/chooser_request.h"
#include "platform/fltk/edit_view.h"
#include "platform/fltk/key_map.h"
#include "platform/fltk/key_tracker.h"
#include "platform/fltk/scroll_bar.h"
#include "platform/text.h"
#include "platform/types.h"
#include "platform/window_system/window_system.h"

namespace kadro::test {
namespace {

using namespace platform;
using namespace platform::fltk;

TEST(AnsiText, ConvertsTheCodePageBothWays) {
    EXPECT_EQ(AnsiToUtf8("caf\xE8"), "caf\xC3\xA8");  // è
    EXPECT_EQ(AnsiToUtf8("\x80"), "\xE2\x82\xAC");    // €
    EXPECT_EQ(AnsiToUtf8("\x81"), "\xC2\x81");        // undefined: U+0081
    EXPECT_EQ(AnsiToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    for (int b = 0; b < 256; ++b) {
        char c = static_cast<char>(b);
        std::optional<unsigned char> back = Utf8CharToAnsi(AnsiToUtf8(std::string(1, c)));
        ASSERT_TRUE(back.has_value()) << b;
        EXPECT_EQ(*back, b);
    }
}

TEST(AnsiText, RefusesWhatIsNotOneCodePageCharacter) {
    EXPECT_FALSE(Utf8CharToAnsi(""));
    EXPECT_FALSE(Utf8CharToAnsi("ab"));
    EXPECT_FALSE(Utf8CharToAnsi("\xC3"));      // cut short
    EXPECT_FALSE(Utf8CharToAnsi("\xC3\x28"));  // bad continuation
    EXPECT_FALSE(Utf8CharToAnsi("\xC4\x99"));  // ę is not in the code page
    EXPECT_FALSE(CodePointToAnsi(0x20AD));
    EXPECT_EQ(CodePointToAnsi(0x2122), 0x99);  // ™
}

TEST(KeyMap, MapsTheKeysTheProgramWatches) {
    EXPECT_EQ(VirtualKeyFromFltk(FL_Escape), VK_ESCAPE);
    EXPECT_EQ(VirtualKeyFromFltk(FL_F + 4), VK_F4);
    EXPECT_EQ(VirtualKeyFromFltk(FL_F + 1), VK_F1);
    EXPECT_EQ(VirtualKeyFromFltk(FL_Alt_L), VK_MENU);
    EXPECT_EQ(VirtualKeyFromFltk(FL_Alt_R), VK_MENU);
    EXPECT_EQ(VirtualKeyFromFltk(FL_Control_R), VK_CONTROL);
    EXPECT_EQ(VirtualKeyFromFltk(FL_KP_Enter), VK_RETURN);
    EXPECT_EQ(VirtualKeyFromFltk('c'), 'C');
    EXPECT_EQ(VirtualKeyFromFltk('7'), '7');
    EXPECT_EQ(VirtualKeyFromFltk(FL_KP + '3'), 0x63);
    EXPECT_EQ(VirtualKeyFromFltk(FL_Delete), VK_DELETE);
    EXPECT_EQ(VirtualKeyFromFltk(FL_Page_Down), VK_NEXT);
    EXPECT_EQ(VirtualKeyFromFltk(0xFE03), 0);  // a level-3 shift: no virtual key
}

TEST(KeyMap, EveryToolkitKeyOfAVirtualKeyMapsBack) {
    for (int vk = 1; vk < 256; ++vk) {
        for (int key : FltkKeysForVirtualKey(vk)) {
            EXPECT_EQ(VirtualKeyFromFltk(key), vk) << "vk " << vk << " key " << key;
        }
    }
    std::vector<int> shift = FltkKeysForVirtualKey(VK_SHIFT);
    EXPECT_EQ(shift.size(), 2u);
    EXPECT_EQ(FltkKeysForVirtualKey(VK_ESCAPE), std::vector<int>{FL_Escape});
    EXPECT_EQ(FltkKeysForVirtualKey(VK_F4), std::vector<int>{FL_F + 4});
    EXPECT_TRUE(FltkKeysForVirtualKey(VK_LBUTTON).empty());
}

TEST(KeyMap, CharactersFollowTheDesktopRules) {
    const KeyModifiers none{};
    const KeyModifiers ctrl{.control = true};
    EXPECT_EQ(CharacterForKey('C', "\x03", ctrl), 3u);
    EXPECT_EQ(CharacterForKey('C', "c", ctrl), 3u);  // whatever text the toolkit made of it
    EXPECT_EQ(CharacterForKey('V', "", ctrl), 22u);
    EXPECT_EQ(CharacterForKey('1', "1", ctrl), 0u);
    EXPECT_EQ(CharacterForKey('C', "c", none), static_cast<std::uint32_t>('c'));
    EXPECT_EQ(CharacterForKey(VK_ESCAPE, "\x1b", none), 27u);
    EXPECT_EQ(CharacterForKey(VK_RETURN, "\r", none), 13u);
    EXPECT_EQ(CharacterForKey(VK_TAB, "\t", none), 9u);
    EXPECT_EQ(CharacterForKey(VK_BACK, "\b", none), 8u);
    EXPECT_EQ(CharacterForKey(VK_DELETE, "\x7f", none), 0u);
    EXPECT_EQ(CharacterForKey(VK_F4, "", KeyModifiers{.alt = true}), 0u);
    EXPECT_EQ(CharacterForKey(0xDE, "\xC3\xA8", none), 0xE8u);  // è
    EXPECT_EQ(CharacterForKey('E', "\xE2\x82\xAC", KeyModifiers{.control = true, .alt = true}),
              0x80u);                                       // € typed with AltGr
    EXPECT_EQ(CharacterForKey('E', "\xC4\x99", none), 0u);  // ę: no ANSI byte
}

TEST(ScrollBar, ThumbFollowsTheFirstVisibleLine) {
    const int height = 502;
    const int width = 17;
    ScrollState state{.last_first_line = 99, .visible_lines = 31, .first_line = 0};
    ScrollBarLayout top = LayOutScrollBar(height, width, state);
    EXPECT_TRUE(top.scrollable);
    EXPECT_EQ(top.arrow, 17);
    EXPECT_EQ(top.thumb_top, top.track_top);
    EXPECT_GT(top.thumb_height, 8);

    state.first_line = 99;  // the last line at the top: as far as the control scrolls
    ScrollBarLayout bottom = LayOutScrollBar(height, width, state);
    EXPECT_EQ(bottom.thumb_top + bottom.thumb_height, bottom.track_bottom);

    for (int first = 0; first < 100; ++first) {
        state.first_line = first;
        ScrollBarLayout l = LayOutScrollBar(height, width, state);
        EXPECT_EQ(LineForThumbTop(l, state, l.thumb_top), first);
    }
    EXPECT_EQ(LineForThumbTop(top, state, -500), 0);
    EXPECT_EQ(LineForThumbTop(top, state, 5000), 99);
}

TEST(ScrollBar, PartsUnderThePointer) {
    ScrollState state{.last_first_line = 99, .visible_lines = 31, .first_line = 50};
    ScrollBarLayout l = LayOutScrollBar(502, 17, state);
    EXPECT_EQ(ScrollPartAt(l, 502, -1), ScrollPart::Outside);
    EXPECT_EQ(ScrollPartAt(l, 502, 0), ScrollPart::LineUp);
    EXPECT_EQ(ScrollPartAt(l, 502, l.track_top), ScrollPart::PageUp);
    EXPECT_EQ(ScrollPartAt(l, 502, l.thumb_top), ScrollPart::Thumb);
    EXPECT_EQ(ScrollPartAt(l, 502, l.thumb_top + l.thumb_height), ScrollPart::PageDown);
    EXPECT_EQ(ScrollPartAt(l, 502, 501), ScrollPart::LineDown);
    EXPECT_EQ(ScrollPartAt(l, 502, 502), ScrollPart::Outside);
}

TEST(ScrollBar, NothingToScrollOrNoRoomGivesNoThumb) {
    // A control that shows all its lines and has not scrolled.
    ScrollBarLayout fits = LayOutScrollBar(502, 17, {.last_first_line = 0, .visible_lines = 31});
    EXPECT_FALSE(fits.scrollable);
    EXPECT_EQ(fits.thumb_height, 0);
    EXPECT_EQ(ScrollPartAt(fits, 502, 100), ScrollPart::PageUp);
    EXPECT_EQ(ScrollPartAt(fits, 502, 400), ScrollPart::PageDown);
    EXPECT_EQ(LineForThumbTop(fits, {.last_first_line = 0, .visible_lines = 31}, 200), 0);

    ScrollBarLayout tiny = LayOutScrollBar(20, 17, {.last_first_line = 99, .visible_lines = 1});
    EXPECT_EQ(tiny.thumb_height, 0);
    EXPECT_EQ(tiny.arrow, 10);
    EXPECT_EQ(ScrollPartAt(tiny, 20, 3), ScrollPart::LineUp);
    EXPECT_EQ(ScrollPartAt(tiny, 20, 15), ScrollPart::LineDown);
}

TEST(ChooserRequest, FilterBecomesTheToolkitsList) {
    EXPECT_EQ(FltkFilter({{"File VKS (*.vks)", "*.vks"}}), "File VKS\t*.vks");
    EXPECT_EQ(FltkFilter({{"Disks (old) (*.dsk)", "*.dsk"}}), "Disks [old]\t*.dsk");
    EXPECT_EQ(FltkFilter({{"(*.dsk)", "*.dsk"}}), "*.dsk\t*.dsk");
    EXPECT_EQ(FltkFilter({{"Sources", "*.c; *.h"}, {"All\tfiles", "*.*"}}),
              "Sources\t{*.c,*.h}\nAll files\t*");
    EXPECT_EQ(FltkFilter({}), "");
    EXPECT_EQ(FltkPattern(""), "*");
    EXPECT_EQ(FltkPattern("*.vks;"), "*.vks");
    // Non-ASCII text passes through untouched.
    EXPECT_EQ(FltkFilter({{"Immagini \xC3\xA8", "*.v\xC3\xA8"}}), "Immagini \xC3\xA8\t*.v\xC3\xA8");
}

TEST(ChooserRequest, InitialFileWithAFolderOverridesTheStartFolder) {
    EXPECT_EQ(SplitInitialFile("/data", "disk.vks").directory, "/data");
    EXPECT_EQ(SplitInitialFile("/data", "disk.vks").file, "disk.vks");
    EXPECT_EQ(SplitInitialFile("/data", "/images/old/disk.vks").directory, "/images/old");
    EXPECT_EQ(SplitInitialFile("/data", "/images/old/disk.vks").file, "disk.vks");
    EXPECT_EQ(SplitInitialFile("", "/disk.vks").directory, "/");
    EXPECT_EQ(SplitInitialFile("", "").file, "");
}

// Records the virtual-key transitions a tracker reports.
struct KeyLog {
    std::vector<std::pair<int, bool>> changes;
    KeyTracker tracker{[this](int vk, bool down) { changes.emplace_back(vk, down); }};
};

constexpr unsigned kEscapeCode = 9;
constexpr unsigned kF4Code = 70;

TEST(KeyTracker, APressInTheWindowStaysDownUntilItsPhysicalRelease) {
    KeyLog log;
    log.tracker.physical_press(kEscapeCode, VK_ESCAPE, ProgramOnScreen::Yes);
    EXPECT_TRUE(log.changes.empty()) << "a physical press alone counts only with no window";
    log.tracker.press_in_window(kEscapeCode, VK_ESCAPE);
    log.tracker.press_in_window(kEscapeCode, VK_ESCAPE);  // a repeat
    // The window left the screen and the focus went elsewhere: nothing releases the key...
    log.tracker.physical_press(kF4Code, VK_F4, ProgramOnScreen::No);
    EXPECT_TRUE(log.tracker.counted(kEscapeCode));
    // ...but its physical release.
    log.tracker.physical_release(kEscapeCode);
    EXPECT_EQ(log.changes,
              (std::vector<std::pair<int, bool>>{{VK_ESCAPE, true}, {VK_ESCAPE, false}}));
    EXPECT_FALSE(log.tracker.any_down());
}

TEST(KeyTracker, EscapeAnywhereCountsOnlyWithNoWindowOnTheScreen) {
    KeyLog log;
    log.tracker.physical_press(kEscapeCode, VK_ESCAPE, ProgramOnScreen::Yes);
    log.tracker.physical_release(kEscapeCode);
    EXPECT_TRUE(log.changes.empty()) << "Escape typed into another program counted";

    log.tracker.physical_press(kF4Code, VK_F4, ProgramOnScreen::No);
    EXPECT_TRUE(log.changes.empty()) << "only Escape counts without a window";

    log.tracker.physical_press(kEscapeCode, VK_ESCAPE, ProgramOnScreen::No);
    log.tracker.physical_release(kEscapeCode);
    EXPECT_EQ(log.changes,
              (std::vector<std::pair<int, bool>>{{VK_ESCAPE, true}, {VK_ESCAPE, false}}));
}

TEST(KeyTracker, AVirtualKeyIsDownWhileAnyOfItsKeysIs) {
    KeyLog log;
    constexpr unsigned kLeftShift = 50;
    constexpr unsigned kRightShift = 62;
    log.tracker.press_in_window(kLeftShift, VK_SHIFT);
    log.tracker.press_in_window(kRightShift, VK_SHIFT);
    log.tracker.physical_release(kLeftShift);
    EXPECT_EQ(log.changes.size(), 1u);
    log.tracker.physical_release(kRightShift);
    EXPECT_EQ(log.changes,
              (std::vector<std::pair<int, bool>>{{VK_SHIFT, true}, {VK_SHIFT, false}}));
    log.tracker.physical_release(kRightShift);   // a release of a key not counted
    log.tracker.press_in_window(300, VK_SHIFT);  // a key code out of range
    log.tracker.press_in_window(kLeftShift, 0);  // a key with no virtual key
    EXPECT_EQ(log.changes.size(), 2u);
}

// A snapshot of a focused, read-only log whose lines are "line 0" ... and whose view starts at
// `first`, with the caret at the end.
EditSnapshot log_snapshot(int lines, int first) {
    EditSnapshot snap;
    for (int i = 0; i < lines; ++i) {
        snap.line_starts.push_back(snap.text.size());
        snap.text += "line " + std::to_string(i) + "\r\n";
    }
    snap.line_starts.push_back(snap.text.size());  // the empty line after the last CR LF
    snap.caret = snap.selection_start = snap.selection_end = snap.text.size();
    snap.first_visible_line = first;
    snap.line_height = 16;
    snap.focused = true;
    return snap;
}

constexpr RECT kClient{10, 20, 310, 20 + 16 * 4 + 8};  // four whole rows and half a row

EditView log_view(int lines, int first) {
    return ViewFromSnapshot(log_snapshot(lines, first), kClient, true);
}

TEST(EditView, RowsShowTheLinesCaretAndSelection) {
    EditSnapshot snap = log_snapshot(3, 1);
    snap.selection_start = snap.line_starts[1] + 2;  // "ne 1\r\nli" selected
    snap.selection_end = snap.line_starts[2] + 2;
    snap.caret = snap.selection_end;
    EditView view = ViewFromSnapshot(snap, kClient, true);
    ASSERT_EQ(view.rows.size(), 5u);
    EXPECT_EQ(view.whole_rows, 4);
    EXPECT_EQ(view.rows[0].text, "line 1");
    EXPECT_EQ(view.rows[0].selection_from, 2u);
    EXPECT_EQ(view.rows[0].selection_to, 6u);
    EXPECT_EQ(view.rows[0].caret, kNoCaret);
    EXPECT_EQ(view.rows[1].text, "line 2");
    EXPECT_EQ(view.rows[1].caret, 2u);
    EXPECT_EQ(view.rows[2].text, "");
    EXPECT_EQ(view.rows[4], EditRow{});

    snap.focused = false;
    EditView unfocused = ViewFromSnapshot(snap, kClient, true);
    EXPECT_EQ(unfocused.rows[1].caret, kNoCaret);
    EXPECT_EQ(unfocused.rows[0].selection_to, 0u);
}

TEST(EditView, ALogLineScrollsTheRowsAndDrawsOnlyWhatIsNew) {
    // Ten lines in four and a half rows: the view shows lines 7 to 10 (10 is the empty one).
    std::optional<EditRepaint> plan = PlanEditRepaint(log_view(10, 7), log_view(11, 8));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->scroll_rows, 1);
    // Row 0..1 moved up unchanged; row 2 now shows "line 10" where the caret row was; row 3
    // is the new caret row; row 4 (cut at the bottom) is always drawn.
    EXPECT_EQ(plan->rows, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(plan->area, kClient);
    EXPECT_FALSE(plan->bar);
}

TEST(EditView, AChangeInPlaceDrawsOnlyItsRows) {
    EditView after = log_view(3, 0);
    std::optional<EditRepaint> plan = PlanEditRepaint(log_view(2, 0), after);
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->scroll_rows, 0);
    EXPECT_EQ(plan->rows, (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(plan->area, (RECT{kClient.left, kClient.top + 32, kClient.right, kClient.bottom}));

    // Nothing changed: only the row cut at the bottom, which never serves as a source.
    EXPECT_EQ(PlanEditRepaint(after, after)->rows, std::vector<int>{4});
}

TEST(EditView, ScrollingFurtherThanAPageDrawsEveryRow) {
    std::optional<EditRepaint> plan = PlanEditRepaint(log_view(40, 0), log_view(40, 20));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->scroll_rows, 0);
    EXPECT_EQ(plan->rows.size(), 5u);
    // Scrolling back by a row moves the pixels down and draws the new top row.
    plan = PlanEditRepaint(log_view(40, 20), log_view(40, 19));
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->scroll_rows, -1);
    EXPECT_EQ(plan->rows, std::vector<int>{0});
}

TEST(EditView, ViewsThatDoNotLineUpAreDrawnWhole) {
    EditView before = log_view(5, 0);
    RECT moved = kClient;
    moved.left += 1;
    EXPECT_FALSE(PlanEditRepaint(before, ViewFromSnapshot(log_snapshot(5, 0), moved, true)));
    EXPECT_FALSE(PlanEditRepaint(before, ViewFromSnapshot(log_snapshot(5, 0), kClient, false)));
    EditView with_bar = before;
    with_bar.bar = ScrollBarLayout{};
    EXPECT_FALSE(PlanEditRepaint(before, with_bar));
    // A scroll bar whose thumb moved is drawn again, within the changed area.
    EditView thumb_moved = with_bar;
    thumb_moved.bar->thumb_top = 30;
    thumb_moved.bar_rect = {kClient.right, kClient.top, kClient.right + 17, kClient.bottom};
    std::optional<EditRepaint> plan = PlanEditRepaint(with_bar, thumb_moved);
    ASSERT_TRUE(plan);
    EXPECT_TRUE(plan->bar);
    EXPECT_EQ(plan->area.right, kClient.right + 17);
}

}  // namespace
}  // namespace kadro::test
