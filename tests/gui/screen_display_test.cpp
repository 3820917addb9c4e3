// The screen display's pure parts: text conversion, key mapping, scroll bar geometry and the
// chooser request. What needs an X server is exercised by gui_session.py.

#include <FL/Enumerations.H>
#include <gtest/gtest.h>

#include "platform/fltk/ansi_text.h"
#include "platform/fltk/chooser_request.h"
#include "platform/fltk/key_map.h"
#include "platform/fltk/scroll_bar.h"
#include "platform/types.h"

namespace platform::screen {
namespace {

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

}  // namespace
}  // namespace platform::screen
