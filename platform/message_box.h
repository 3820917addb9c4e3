#pragma once
// The system message box: a modal dialog built from a static icon, a static text and push
// buttons, run in a modal loop that keeps delivering sent messages (so a serial notification
// still reaches its window while a box is up).
//
// style: the button set (MB_OK, MB_OKCANCEL, MB_YESNOCANCEL, MB_YESNO, ...), the icon
// (MB_ICONHAND / MB_ICONQUESTION / MB_ICONEXCLAMATION / MB_ICONINFORMATION) and the default
// button (MB_DEFBUTTON2/3). Text may hold CR LF line breaks. Escape and the close command count
// as Cancel when the box has a Cancel button (as OK for a lone OK button) and do nothing
// otherwise. The owner, when given, is disabled while the box is up.
//
// Returns the pressed button's id (IDOK, IDCANCEL, IDYES, IDNO, ...), or 0 when the box cannot
// be shown.

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT style);

// What a shown message box holds, for displays and for tests that answer it headless.
struct MessageBoxContent {
    std::string text;
    std::string caption;
    UINT style = 0;
    std::vector<int> buttons;  // ids in order
    int default_button = 0;
};
// Content of the message box window `box`; false when it is not one.
bool GetMessageBoxContent(HWND box, MessageBoxContent* content);

// Sound of the system beep at a frequency for a duration (through the display).
bool Beep(unsigned frequency_hz, unsigned duration_ms);

}  // namespace platform
