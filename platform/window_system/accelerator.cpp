#include "platform/accelerator.h"

#include "platform/message_queue.h"

namespace platform {
namespace {

bool down(int vk) {
    return (GetKeyState(vk) & 0x8000) != 0;
}

unsigned current_modifiers() {
    unsigned bits = 0;
    if (down(VK_SHIFT)) {
        bits |= static_cast<unsigned>(AccelModifiers::Shift);
    }
    if (down(VK_CONTROL)) {
        bits |= static_cast<unsigned>(AccelModifiers::Control);
    }
    if (down(VK_MENU)) {
        bits |= static_cast<unsigned>(AccelModifiers::Alt);
    }
    return bits;
}

}  // namespace

bool TranslateAccelerator(HWND hwnd, const AcceleratorTable* table, const MSG* msg) {
    if (hwnd == 0 || table == nullptr || msg == nullptr ||
        (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return false;
    }
    const unsigned modifiers = current_modifiers();
    for (const Accelerator& entry : *table) {
        if (entry.virtual_key == static_cast<int>(msg->wParam) && entry.modifiers == modifiers) {
            SendMessage(hwnd, WM_COMMAND, MAKELONG(entry.command, 1), 0);
            return true;
        }
    }
    return false;
}

}  // namespace platform
