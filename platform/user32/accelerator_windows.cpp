// Accelerator tables over the system's own: each call builds the real table for the moment of
// the translation (the program's tables are few and small) and destroys it again.

#include "platform/accelerator.h"

#include <vector>

#include "platform/user32/native_bridge.h"

#include <windows.h>

#undef TranslateAccelerator

namespace platform {

bool TranslateAccelerator(HWND hwnd, const AcceleratorTable* table, const MSG* msg) {
    if (table == nullptr || table->empty() || msg == nullptr || hwnd == 0) {
        return false;
    }
    std::vector<ACCEL> entries;
    entries.reserve(table->size());
    for (const Accelerator& a : *table) {
        BYTE flags = FVIRTKEY;
        if ((a.modifiers & static_cast<unsigned>(AccelModifiers::Shift)) != 0) {
            flags |= FSHIFT;
        }
        if ((a.modifiers & static_cast<unsigned>(AccelModifiers::Control)) != 0) {
            flags |= FCONTROL;
        }
        if ((a.modifiers & static_cast<unsigned>(AccelModifiers::Alt)) != 0) {
            flags |= FALT;
        }
        entries.push_back(ACCEL{flags, static_cast<WORD>(a.virtual_key), a.command});
    }
    HACCEL real_table = CreateAcceleratorTableW(entries.data(), static_cast<int>(entries.size()));
    if (real_table == nullptr) {
        return false;
    }
    ::MSG real{};
    user32::ToNativeMessage(*msg, &real);
    const bool translated =
        TranslateAcceleratorW(user32::NativeHandle(hwnd), real_table, &real) != 0;
    DestroyAcceleratorTable(real_table);
    return translated;
}

}  // namespace platform
