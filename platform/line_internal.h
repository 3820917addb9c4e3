#pragma once
// Private to platform/ (both system backends use it): the fault a line (platform/line.h) reports
// for one of its system's error codes.
//
// FaultOf(code, gone): LineFault::kHungUp when `code` is one of `gone`, the codes with which the
// system says that the far end or the device went away; LineFault::kFailed for any other.

#include <algorithm>
#include <array>
#include <cstddef>
#include <type_traits>

#include "platform/line.h"

namespace platform {

template <typename Code, std::size_t N>
constexpr LineFault FaultOf(std::type_identity_t<Code> code, const std::array<Code, N>& gone) {
    return std::find(gone.begin(), gone.end(), code) != gone.end() ? LineFault::kHungUp
                                                                   : LineFault::kFailed;
}

}  // namespace platform
