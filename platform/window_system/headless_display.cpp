// Our own window system starts without a screen: every Display default is the headless answer
// (the unit tests run so, and a program attaches its screen before it shows a window).

#include "platform/display.h"

namespace platform {

std::unique_ptr<Display> CreateBackendDisplay() {
    return std::make_unique<Display>();
}

}  // namespace platform
