// The part of the terminal that is the same on every system.

#include "platform/console/terminal.h"

namespace platform::console {

bool HoldsEscapeKey(std::string_view typed) {
    constexpr char kEscape = '\x1b';
    for (std::size_t i = 0; i < typed.size(); ++i) {
        if (typed[i] == kEscape && (i + 1 == typed.size() || typed[i + 1] == kEscape)) {
            return true;
        }
    }
    return false;
}

}  // namespace platform::console
