#pragma once
// Program-wide state of the window layer that the message pump reads: the accelerator table, the
// application's main window, the registered modeless dialogs, the main-loop flag, the last
// character handled and the character-mode switch. All of it is used on the interface thread
// only; it starts empty or off.

#include <array>
#include <cstdint>

#include "platform/accelerator.h"
#include "platform/types.h"

namespace kadro {

enum class CharacterMode { Narrow, Wide };

struct WindowLayerState {
    static constexpr int kModelessSlots = 1500;

    const platform::AcceleratorTable* accelerators = nullptr;  // at most one; none by default
    platform::HWND main_window = 0;
    std::array<platform::HWND, kModelessSlots> modeless{};  // 0 = free slot
    int highest_modeless = -1;          // highest slot index in use, -1 when none
    platform::HWND last_accepting = 0;  // modeless dialog that last accepted a message
    bool main_loop = false;             // a message loop of the window layer is running
    std::uint16_t last_character = 0;   // of the last WM_CHAR the pump handled
    CharacterMode character_mode = CharacterMode::Narrow;
};

WindowLayerState& WindowLayer();

// Registers / forgets a modeless dialog for the pump's dialog keyboard handling. Register
// returns false when all slots are taken.
bool RegisterModelessDialog(platform::HWND dialog);
void UnregisterModelessDialog(platform::HWND dialog);

}  // namespace kadro
