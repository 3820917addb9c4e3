#pragma once
// Turning a window-system file chooser request into what the toolkit's chooser takes.
//
// Contract: pure string work. The filter becomes one "description<TAB>pattern" line per pair;
// a mask list such as "*.c;*.h" becomes the toolkit's alternation "{*.c,*.h}", "*.*" becomes
// "*" (every file, with or without a dot). The toolkit shows the pattern in parentheses after
// the description and its own chooser reads it back from there, so a description's ending
// "(mask)" is dropped, its other parentheses become brackets, and tabs or line breaks become
// blanks so that they cannot split the list; an empty description becomes the mask. An initial file
// given with a folder is split into that folder (which then replaces the start folder) and the
// name.

#include <string>
#include <utility>
#include <vector>

namespace platform::fltk {

std::string FltkPattern(const std::string& mask);
std::string FltkFilter(const std::vector<std::pair<std::string, std::string>>& filters);

struct ChooserStart {
    std::string directory;
    std::string file;
};
ChooserStart SplitInitialFile(const std::string& initial_dir, const std::string& initial_file);

}  // namespace platform::fltk
