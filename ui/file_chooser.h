#pragma once
// CGETFILE: the modal file chooser with the program's argument rules.
//
// Arguments (every one may be left empty):
//   cFilter      descriptions and masks separated by "|": "File VKS (*.vks)|*.vks"
//   cTitle       window title; "Select the file" when empty
//   nFilterIndex 1-based filter selected first; only its low 8 bits count; 0 or empty means 1
//   cInitDir     folder the chooser starts in
//   lSave        save chooser when true, open chooser when false; when empty, the save chooser
//                exactly when cInitFile is given
//   lLongNames   adds the long-names flag when the flags are built
//   nFlags       chooser flags, used unchanged when non-zero; built when 0; 0x80C when empty
//   cInitFile    name shown first in the name field
// Texts longer than their buffers are cut (filter 399 characters, the others 255). An argument
// holding a byte of 0x80 or more is read as UTF-8 when it is valid UTF-8, otherwise in the ANSI
// code page.
//
// Result: the chosen path, "" on cancel or failure (and at once, showing nothing, when no
// argument is given). A path whose characters are all below 256 comes back one byte per
// character; otherwise as UTF-8. A single path that the file calls would not read back as the
// name chosen (platform/text.h: a name with C1 control characters, a lone surrogate,
// or characters below 256 whose bytes read as UTF-8, such as "Ä¡" for "ġ") is refused rather
// than let it open another file: a message box names it, and the result is "". With
// OFN_ALLOWMULTISELECT the open chooser returns the parts of the answer in order (the folder
// first, then the names) as a list.

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kadro {

struct CGetFileArgs {
    std::optional<std::string> cFilter;
    std::optional<std::string> cTitle;
    std::optional<std::int64_t> nFilterIndex;
    std::optional<std::string> cInitDir;
    std::optional<bool> lSave;
    std::optional<bool> lLongNames;
    std::optional<std::int64_t> nFlags;
    std::optional<std::string> cInitFile;
};

using CGetFileResult = std::variant<std::string, std::vector<std::string>>;

CGetFileResult CGETFILE(const CGetFileArgs& args);

// The path of a single-selection result ("" for a list).
std::string ChosenPath(const CGetFileResult& result);

}  // namespace kadro
