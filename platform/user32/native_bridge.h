#pragma once
// Private to user32/: the conversions at the boundary between the program's types and the real
// window system's, shared by the files of this folder.
//
// Text: the real calls used are the wide ones; every string crosses through the program's one
// conversion rule (platform/win32/wide_text.h: the program's code page whatever the system's,
// UTF-8 for characters beyond it). The conversions cannot fail.
//
// Handles: platform::HWND carries the real window handle's value unchanged (0 = none).
//
// Messages: PeekMessage / GetMessage remember the last real message they handed out on the
// calling thread, so that a MSG handed back to TranslateMessage / DispatchMessage /
// IsDialogMessage keeps the time and cursor position the real system gave it; a MSG the
// program made up gets the current ones.
//
// Fonts: the window layer names fonts by handles of its own, which the real system does not
// know. A WM_SETFONT whose handle is no real font is given the desktop's message font instead
// (Segoe UI 9 pt on current systems), so that the control is drawn with the interface font
// rather than the bitmap system font. Likewise a WM_CTLCOLOR* answer that is no real brush is
// replaced by the system window colours (background brush, text and background colour set on
// the device context): the log is drawn in the window colours, as its own brush asks for.
//
// No <windows.h> here: the real types appear only as incomplete declarations.

#include <string>
#include <string_view>

#include "platform/types.h"
#include "platform/win32/wide_text.h"

struct tagMSG;
struct HWND__;  // the real HWND is a pointer to it

namespace platform::user32 {

// The real handle of a window, and ours.
inline HWND__* NativeHandle(HWND hwnd) {
    return reinterpret_cast<HWND__*>(hwnd);
}
inline HWND OurHandle(HWND__* hwnd) {
    return reinterpret_cast<HWND>(hwnd);
}

// The real MSG for `msg` (see the file comment for time and position).
void ToNativeMessage(const MSG& msg, tagMSG* native);
// The program's MSG for a real one just retrieved on this thread; remembers it.
MSG FromNativeMessage(const tagMSG& native);

// The wParam to hand to the real system for a WM_SETFONT carrying `font` (see the file
// comment).
WPARAM NativeFontFor(WPARAM font);
// The answer to hand to the real system for a WM_CTLCOLOR* message answered with `answer`
// (see the file comment); any other message's answer unchanged.
LRESULT NativeColourAnswer(UINT msg, WPARAM device_context, LRESULT answer);

// Makes the calling thread ready to receive sends through a SendGate (message_queue.h); called
// by every function that makes a window, on the window's thread. Cheap after the first call.
void EnsureGateReceiver();

}  // namespace platform::user32
