// The display on Windows: the real window system draws every window and turns the person's
// input into messages itself, so this display only answers what the program asks of a display
// (display.h): the primary screen's rectangle, text measuring and the beep.
//
//  - screen_rect: the desktop window's rectangle (the whole primary screen, task bar
//    included);
//  - text_cell: the dialog base units (average character width and height of the system
//    font); text_width: the width of the text in the device context of the active window, or
//    of the screen when no window of the thread is active, with that context's current font;
//  - beep: the system's Beep, or its default sound where there is no tone generator;
//  - poll, wait, key_down, choose_files and set_clipboard_text keep their headless defaults:
//    the real message queue, GetAsyncKeyState, GetOpenFileNameW and the clipboard do that work.

#include "platform/display.h"

#include "platform/user32/native_bridge.h"

#include <windows.h>

namespace platform {
namespace {

class NativeDisplay final : public Display {
  public:
    RECT screen_rect() const override {
        ::RECT r{};
        if (::GetWindowRect(GetDesktopWindow(), &r) == 0) {
            return Display::screen_rect();
        }
        return RECT{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
                    static_cast<int>(r.bottom)};
    }

    SIZE text_cell() const override {
        const LONG units = ::GetDialogBaseUnits();
        return SIZE{static_cast<int>(units & 0xFFFF), static_cast<int>((units >> 16) & 0xFFFF)};
    }

    int text_width(const std::string& text) const override {
        const std::wstring wide = AsWide(TextToUtf16(text));
        const ::HWND window = ::GetActiveWindow();
        HDC dc = GetDC(window);
        if (dc == nullptr) {
            return Display::text_width(text);
        }
        ::SIZE extent{};
        const BOOL measured =
            GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &extent);
        ReleaseDC(window, dc);
        return measured != 0 ? static_cast<int>(extent.cx) : Display::text_width(text);
    }

    void beep(unsigned frequency_hz, unsigned duration_ms) override {
        if (::Beep(frequency_hz, duration_ms) == 0) {
            MessageBeep(MB_OK);
        }
    }
};

}  // namespace

std::unique_ptr<Display> CreateBackendDisplay() {
    return std::make_unique<NativeDisplay>();
}

}  // namespace platform
