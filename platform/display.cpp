#include "platform/display.h"

#include <mutex>

namespace platform {
namespace {

class HeadlessDisplay final : public Display {};

std::unique_ptr<Display>& display_slot() {
    static std::unique_ptr<Display> slot = std::make_unique<HeadlessDisplay>();
    return slot;
}

}  // namespace

Display& CurrentDisplay() {
    return *display_slot();
}

void AttachDisplay(std::unique_ptr<Display> display) {
    display_slot() = display ? std::move(display) : std::make_unique<HeadlessDisplay>();
}

}  // namespace platform
