#include "ui/message_pump.h"

#include <utility>

#include "platform/accelerator.h"
#include "platform/dialog.h"
#include "platform/message_queue.h"
#include "ui/window_layer_state.h"

namespace kadro {
namespace {

// Offers the message to the registered modeless dialogs, the last one that accepted a message
// first. True when one took it.
bool offer_to_modeless_dialogs(platform::MSG& msg) {
    WindowLayerState& layer = WindowLayer();
    if (layer.last_accepting != 0 && platform::IsDialogMessage(layer.last_accepting, &msg)) {
        return true;
    }
    for (int i = 0; i <= layer.highest_modeless; ++i) {
        platform::HWND dialog = layer.modeless[static_cast<std::size_t>(i)];
        if (dialog != 0 && platform::IsDialogMessage(dialog, &msg)) {
            layer.last_accepting = dialog;
            return true;
        }
    }
    return false;
}

}  // namespace

bool SYSREFRESH() {
    WindowLayerState& layer = WindowLayer();
    // A pump started from inside a handler must not translate accelerators.
    const platform::AcceleratorTable* accelerators = std::exchange(layer.accelerators, nullptr);
    bool quit = false;
    platform::MSG msg;
    while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        if (msg.message == platform::WM_QUIT) {
            quit = true;
            break;
        }
        if (!offer_to_modeless_dialogs(msg)) {
            bool translated = accelerators != nullptr && layer.main_window != 0 &&
                              platform::TranslateAccelerator(layer.main_window, accelerators, &msg);
            if (!translated) {
                platform::TranslateMessage(&msg);
                platform::DispatchMessage(&msg);
            }
        }
        if (msg.message == platform::WM_CHAR) {
            layer.last_character = static_cast<std::uint16_t>(msg.wParam & 0xFFFF);
        }
    }
    if (quit && layer.main_loop) {
        platform::PostQuitMessage(0);
    }
    layer.accelerators = accelerators;
    return !quit;
}

bool GETASYNCKEY(int nKey) {
    return (platform::GetAsyncKeyState(nKey) & 0xFF00) != 0;
}

bool GETASYNCKEYSTATE(int nKey) {
    return GETASYNCKEY(nKey);
}

void SLEEP(int nMilliseconds) {
    platform::Sleep(nMilliseconds > 0 ? static_cast<unsigned>(nMilliseconds) : 0U);
}

void WaitForMessage(std::chrono::milliseconds timeout) {
    platform::MsgWaitForInput(timeout);
}

}  // namespace kadro
