// The one display slot; each window backend supplies the display it starts with.

#include "platform/display.h"

namespace platform {
namespace {

std::unique_ptr<Display>& display_slot() {
    static std::unique_ptr<Display> slot = CreateBackendDisplay();
    return slot;
}

}  // namespace

Display& CurrentDisplay() {
    return *display_slot();
}

void AttachDisplay(std::unique_ptr<Display> display) {
    display_slot() = display ? std::move(display) : CreateBackendDisplay();
}

}  // namespace platform
