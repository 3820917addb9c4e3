#pragma once
// Small text tests the program makes on names it reads or is given.
//
// IsBlank(text): true when `text` is empty or holds only blanks, tabs, carriage returns and
// line feeds. Never fails.

#include <string_view>

namespace kadro {

inline bool IsBlank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

}  // namespace kadro
