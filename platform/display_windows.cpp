#include "platform/native_display.h"

#include "platform/win32_bridge.h"

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
        const std::wstring wide = win32::AnsiToWide(text);
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

std::unique_ptr<Display>& display_slot() {
    static std::unique_ptr<Display> slot = std::make_unique<NativeDisplay>();
    return slot;
}

}  // namespace

Display& CurrentDisplay() {
    return *display_slot();
}

void AttachDisplay(std::unique_ptr<Display> display) {
    display_slot() = display ? std::move(display) : std::make_unique<NativeDisplay>();
}

std::unique_ptr<Display> CreateScreenDisplay(std::string*) {
    return std::make_unique<NativeDisplay>();
}

}  // namespace platform
