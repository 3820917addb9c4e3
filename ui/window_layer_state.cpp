#include "ui/window_layer_state.h"

namespace kadro {

WindowLayerState& WindowLayer() {
    static WindowLayerState state;
    return state;
}

bool RegisterModelessDialog(platform::HWND dialog) {
    WindowLayerState& s = WindowLayer();
    for (int i = 0; i < WindowLayerState::kModelessSlots; ++i) {
        auto& slot = s.modeless[static_cast<std::size_t>(i)];
        if (slot == 0) {
            slot = dialog;
            if (i > s.highest_modeless) {
                s.highest_modeless = i;
            }
            return true;
        }
    }
    return false;
}

void UnregisterModelessDialog(platform::HWND dialog) {
    WindowLayerState& s = WindowLayer();
    for (int i = 0; i <= s.highest_modeless; ++i) {
        auto& slot = s.modeless[static_cast<std::size_t>(i)];
        if (slot == dialog) {
            slot = 0;
        }
    }
    while (s.highest_modeless >= 0 &&
           s.modeless[static_cast<std::size_t>(s.highest_modeless)] == 0) {
        --s.highest_modeless;
    }
    if (s.last_accepting == dialog) {
        s.last_accepting = 0;
    }
}

}  // namespace kadro
