#pragma once
// Windows of the window system: classes, creation and destruction, attributes, geometry,
// visibility, focus and painting.
//
// A window belongs to the thread that created it (the interface thread); every function here is
// called on that thread. A handle is a non-zero integer that is never reused within a process;
// a function given a handle that names no window fails in the documented way (0, false, empty)
// and changes nothing.
//
// Coordinates: a top-level window's rectangle is in screen pixels; a child's is in its
// parent's client coordinates. A top-level window with a caption has a non-client frame (title
// bar and border, sizes below) around its client area; a child has none, but a bordered child
// (WS_BORDER) loses one pixel on each side of its client area.

#include <string>
#include <string_view>
#include <vector>

#include "platform/types.h"

namespace platform {

// Non-client metrics of the window system.
constexpr int kCaptionHeight = 23;   // title bar, below the top border
constexpr int kFrameWidth = 1;       // thin border of a captioned top-level window
constexpr int kScrollBarWidth = 17;  // a vertical scroll bar's width, a horizontal one's height

// Registers a window class; false when the name is taken (names compare case-insensitively).
bool RegisterClass(std::string_view class_name, WNDPROC proc);
bool IsClassRegistered(std::string_view class_name);

// Creates a window of a registered class. Sends WM_CREATE (a -1 answer destroys the window and
// fails). WS_VISIBLE shows it at once. Returns 0 on failure (unknown class, bad parent).
HWND CreateWindowEx(DWORD ex_style, std::string_view class_name, std::string_view text, DWORD style,
                    int x, int y, int width, int height, HWND parent, int id,
                    LPARAM create_param = 0);

// Destroys the window and its children: hides it, sends WM_DESTROY to the window and then to its
// children (parents first), and forgets them. Focus inside it is dropped. False for no window.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);

// Procedures.
LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
WNDPROC GetWindowProc(HWND hwnd);
// Replaces the window procedure (subclassing) and returns the previous one, nullptr on failure.
WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc);

// Integer attributes: GWLP_ID, GWL_STYLE, GWL_EXSTYLE, GWLP_USERDATA, and DWLP_MSGRESULT of a
// dialog. Set returns the previous value; both return 0 for no window.
LONG_PTR GetWindowLongPtr(HWND hwnd, int index);
LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value);

std::string GetClassName(HWND hwnd);
HWND GetParent(HWND hwnd);
// The top-level window that contains hwnd (hwnd itself when it is top-level).
HWND GetAncestorRoot(HWND hwnd);
std::vector<HWND> GetChildren(HWND hwnd);  // in creation order
HWND GetDlgItem(HWND dialog, int id);
int GetDlgCtrlID(HWND hwnd);

// Text, through WM_SETTEXT / WM_GETTEXT so that controls can keep their own.
bool SetWindowText(HWND hwnd, std::string_view text);
std::string GetWindowText(HWND hwnd);
int GetWindowTextLength(HWND hwnd);
// The text DefWindowProc keeps, read without a message (for displays).
std::string GetStoredWindowText(HWND hwnd);

// Geometry.
bool GetWindowRect(HWND hwnd, RECT* rect);  // screen coordinates
bool GetClientRect(HWND hwnd, RECT* rect);  // 0, 0, width, height
// Moves and sizes (x, y in parent client coordinates for children); sends WM_MOVE and WM_SIZE
// and invalidates when repaint is true.
bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint);
// Window rectangle needed for a client rectangle under the given style (top-level).
RECT AdjustWindowRect(RECT client, DWORD style, bool is_child);
bool ClientToScreen(HWND hwnd, POINT* point);
bool ScreenToClient(HWND hwnd, POINT* point);

// Visibility and state. ShowWindow returns whether the window was visible before.
bool ShowWindow(HWND hwnd, int command);
// True when the window and every ancestor are visible.
bool IsWindowVisible(HWND hwnd);
bool EnableWindow(HWND hwnd, bool enable);  // returns true when it was disabled before
bool IsWindowEnabled(HWND hwnd);

// Focus and activation. SetFocus sends WM_KILLFOCUS to the old window (wParam = new) and
// WM_SETFOCUS to the new one (wParam = old); returns the old focus window.
HWND SetFocus(HWND hwnd);
HWND GetFocus();
HWND SetActiveWindow(HWND hwnd);
HWND GetActiveWindow();

// Painting. A visible window that needs painting gets WM_PAINT from the message retrieval when
// nothing else is waiting; BeginPaint (or DefWindowProc's WM_PAINT) validates it.
bool InvalidateRect(HWND hwnd, bool erase);
bool ValidateRect(HWND hwnd);
bool NeedsPaint(HWND hwnd);
// Sends WM_PAINT at once when the window needs painting.
bool UpdateWindow(HWND hwnd);
struct PAINTSTRUCT {
    bool erase = false;
    RECT paint{};
};
bool BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

// Font handle kept by DefWindowProc for WM_SETFONT / WM_GETFONT.
using HFONT = std::uintptr_t;

}  // namespace platform
