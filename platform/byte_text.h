#pragma once
// Small tests on byte strings that every layer makes on names and texts it reads or is given.
// Letters are the ASCII ones: bytes beyond 127 are compared as they are, whatever code page the
// text is in, so a test never depends on the process's locale.
//
// IsBlank(text): true when `text` is empty or holds only blanks, tabs, carriage returns and line
// feeds. Never fails.
//
// EqualsIgnoringCase(a, b): true when `a` and `b` have the same length and differ at most in the
// case of ASCII letters. Never fails.

#include <algorithm>
#include <string_view>

namespace platform {

inline bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace platform
