#pragma once
// The command line as Windows holds it, for both programs' Windows main(): the narrow argv holds
// only what the system's code page can, the system's own line every character typed.
//
// Contract: SystemCommandLine(convert) splits the process's command line as the system splits
// it, the program's name first, and returns every word as `convert` turns its UTF-16 into the
// caller's text; empty when the system cannot split the line. Windows only.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kadro {

std::vector<std::string> SystemCommandLine(
    const std::function<std::string(std::u16string_view)>& convert);

}  // namespace kadro
