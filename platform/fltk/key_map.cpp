#include "platform/fltk/key_map.h"

#include <FL/Enumerations.H>

#include <array>
#include <utility>

#include "platform/text.h"
#include "platform/types.h"

namespace platform::fltk {
namespace {

constexpr int kFunctionKeys = 24;

// Keys that are not characters, and the punctuation keys of a US layout (the toolkit reports
// the unshifted symbol of the key).
constexpr std::array<std::pair<int, int>, 54> kTable = {{
    {FL_Escape, VK_ESCAPE},
    {FL_BackSpace, VK_BACK},
    {FL_Tab, VK_TAB},
    {FL_Enter, VK_RETURN},
    {FL_KP_Enter, VK_RETURN},
    {FL_Pause, VK_PAUSE},
    {FL_Scroll_Lock, VK_SCROLL},
    {FL_Print, VK_SNAPSHOT},
    {FL_Insert, VK_INSERT},
    {FL_Delete, VK_DELETE},
    {FL_Home, VK_HOME},
    {FL_End, VK_END},
    {FL_Page_Up, VK_PRIOR},
    {FL_Page_Down, VK_NEXT},
    {FL_Left, VK_LEFT},
    {FL_Up, VK_UP},
    {FL_Right, VK_RIGHT},
    {FL_Down, VK_DOWN},
    {FL_Shift_L, VK_SHIFT},
    {FL_Shift_R, VK_SHIFT},
    {FL_Control_L, VK_CONTROL},
    {FL_Control_R, VK_CONTROL},
    {FL_Alt_L, VK_MENU},
    {FL_Alt_R, VK_MENU},
    {FL_Caps_Lock, VK_CAPITAL},
    {FL_Num_Lock, VK_NUMLOCK},
    {FL_Meta_L, VK_LWIN},
    {FL_Meta_R, VK_RWIN},
    {FL_Menu, VK_APPS},
    {' ', VK_SPACE},
    {FL_KP + '*', VK_MULTIPLY},
    {FL_KP + '+', VK_ADD},
    {FL_KP + '-', VK_SUBTRACT},
    {FL_KP + '.', VK_DECIMAL},
    {FL_KP + ',', VK_DECIMAL},
    {FL_KP + '/', VK_DIVIDE},
    {';', VK_OEM_1},
    {'=', 0xBB},
    {',', 0xBC},
    {'-', 0xBD},
    {'.', 0xBE},
    {'/', 0xBF},
    {'`', 0xC0},
    {'[', VK_OEM_4},
    {'\\', VK_OEM_5},
    {']', VK_OEM_6},
    {'\'', 0xDE},
    {'<', 0xE2},
    {FL_Iso_Key, 0xE2},
    {FL_Help, 0x2F},
    {FL_KP + '=', 0x92},
    {FL_Kana, 0x15},
    {FL_Eisu, 0x1C},
    {FL_Yen, 0xDC},
}};

}  // namespace

int VirtualKeyFromFltk(int fltk_key) {
    if (fltk_key >= 'a' && fltk_key <= 'z') {
        return fltk_key - 'a' + 'A';
    }
    if (fltk_key >= '0' && fltk_key <= '9') {
        return fltk_key;
    }
    if (fltk_key >= FL_KP + '0' && fltk_key <= FL_KP + '9') {
        return VK_NUMPAD0 + (fltk_key - FL_KP - '0');
    }
    if (fltk_key > FL_F && fltk_key <= FL_F + kFunctionKeys) {
        return VK_F1 + (fltk_key - FL_F - 1);
    }
    for (const auto& [fltk, vk] : kTable) {
        if (fltk == fltk_key) {
            return vk;
        }
    }
    return 0;
}

std::vector<int> FltkKeysForVirtualKey(int virtual_key) {
    if (virtual_key >= 'A' && virtual_key <= 'Z') {
        return {virtual_key - 'A' + 'a'};
    }
    if (virtual_key >= '0' && virtual_key <= '9') {
        return {virtual_key};
    }
    if (virtual_key >= VK_NUMPAD0 && virtual_key <= VK_NUMPAD0 + 9) {
        return {FL_KP + '0' + (virtual_key - VK_NUMPAD0)};
    }
    if (virtual_key >= VK_F1 && virtual_key < VK_F1 + kFunctionKeys) {
        return {FL_F + 1 + (virtual_key - VK_F1)};
    }
    std::vector<int> keys;
    for (const auto& [fltk, vk] : kTable) {
        if (vk == virtual_key) {
            keys.push_back(fltk);
        }
    }
    return keys;
}

std::uint32_t CharacterForKey(int virtual_key, std::string_view event_text,
                              KeyModifiers modifiers) {
    switch (virtual_key) {
        case VK_ESCAPE:
            return 27;
        case VK_RETURN:
            return modifiers.control ? 10 : 13;
        case VK_TAB:
            return 9;
        case VK_BACK:
            return modifiers.control ? 127 : 8;
        default:
            break;
    }
    if (modifiers.control && !modifiers.alt) {
        if (virtual_key >= 'A' && virtual_key <= 'Z') {
            return static_cast<std::uint32_t>(virtual_key - 'A' + 1);
        }
        switch (virtual_key) {
            case VK_OEM_4:
                return 27;
            case VK_OEM_5:
                return 28;
            case VK_OEM_6:
                return 29;
            default:
                return 0;
        }
    }
    std::optional<unsigned char> byte = Utf8CharToAnsi(event_text);
    if (!byte || *byte < 0x20 || *byte == 0x7F) {
        return 0;
    }
    return *byte;
}

}  // namespace platform::fltk
