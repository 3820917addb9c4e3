#pragma once
// Environment values that name files or folders, as the program's text.
//
// FileNameFromEnvironment(variable): the value of `variable` in the spelling the program's file
// calls take back to the same folder (TextToUtf8 / TextToUtf16 of text.h). nullopt when the
// variable is not set, or when no program text leads back to its value (a name the program
// could only reach by mistake for another). Never fails otherwise.
//  - POSIX: the value's bytes are the file system's UTF-8 spelling.
//  - Windows: the value is read from the system's wide environment, so a folder whose name the
//    system's code page lacks is read whole, not with the C library's '?' substitutes.

#include <optional>
#include <string>

namespace platform {

std::optional<std::string> FileNameFromEnvironment(const char* variable);

}  // namespace platform
