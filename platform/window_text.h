#pragma once
// Internal to platform/: WM_GETTEXT answered from a text the window keeps.
//
// AnswerGetText(text, wparam, lparam): copies the start of `text` into the buffer of `wparam`
// bytes at `lparam`, at most wparam - 1 bytes and a terminating NUL, and returns the count
// copied; 0, touching nothing, when there is no buffer or it has no room. Never fails.

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/types.h"

namespace platform::detail {

inline LRESULT AnswerGetText(std::string_view text, WPARAM wparam, LPARAM lparam) {
    char* buffer = reinterpret_cast<char*>(lparam);
    if (buffer == nullptr || wparam == 0) {
        return 0;
    }
    std::size_t n = std::min<std::size_t>(text.size(), wparam - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<LRESULT>(n);
}

}  // namespace platform::detail
