#pragma once
// Keys of the screen toolkit (FLTK key codes, which follow the X key symbols) and the window
// system's virtual-key codes, both ways, and the character a key press produces.
//
// Contract: VirtualKeyFromFltk answers 0 for a key the window system has no code for (such a
// press is not reported). FltkKeysForVirtualKey lists every toolkit key that stands for the
// virtual key (both Shift keys for VK_SHIFT, the main and keypad Enter for VK_RETURN, ...);
// empty when none, in which case the key's physical state cannot be read. CharacterForKey gives
// the byte (Windows-1252) that the press types, or 0 for none, following the desktop
// platform's rules: Escape 27, Enter 13, Tab 9, Backspace 8, Ctrl with a letter its control
// code (Ctrl+C is 3), Delete and the navigation keys nothing.

#include <cstdint>
#include <string_view>
#include <vector>

namespace platform::fltk {

struct KeyModifiers {
    bool control = false;
    bool alt = false;
};

int VirtualKeyFromFltk(int fltk_key);
std::vector<int> FltkKeysForVirtualKey(int virtual_key);
// `event_text` is the UTF-8 text the toolkit reports for the press.
std::uint32_t CharacterForKey(int virtual_key, std::string_view event_text, KeyModifiers modifiers);

}  // namespace platform::fltk
