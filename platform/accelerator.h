#pragma once
// Keyboard accelerator tables: a key with modifiers that becomes a WM_COMMAND.
//
// TranslateAccelerator: when `msg` is a key-down (or system key-down) whose key and modifier
// state match an entry, sends WM_COMMAND (wParam = MAKELONG(command, 1), lParam = 0) to `hwnd`
// and returns true; otherwise false and nothing happens.

#include <vector>

#include "platform/types.h"

namespace platform {

enum class AccelModifiers : unsigned { None = 0, Shift = 1, Control = 2, Alt = 4 };

struct Accelerator {
    int virtual_key = 0;
    unsigned modifiers = 0;  // AccelModifiers bits
    WORD command = 0;
};

using AcceleratorTable = std::vector<Accelerator>;

bool TranslateAccelerator(HWND hwnd, const AcceleratorTable* table, const MSG* msg);

}  // namespace platform
