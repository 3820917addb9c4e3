#pragma once
// The clipboard's text, kept in this process.
//
// SetClipboardText replaces the kept text and hands it to the display (which may put it on the
// system clipboard); it returns true, as the process copy always succeeds. GetClipboardText
// returns the kept text, "" when nothing was ever set. The display cannot supply text copied
// by other programs: a paste only sees what this process copied. Safe from any thread.

#include <string>
#include <string_view>

namespace platform {

bool SetClipboardText(std::string_view text);
std::string GetClipboardText();
// Forgets the kept text (tests start from an empty clipboard).
void EmptyClipboard();

}  // namespace platform
