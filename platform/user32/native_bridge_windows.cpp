#include "platform/user32/native_bridge.h"

#include <windows.h>

namespace platform::user32 {
namespace {

// The last real message PeekMessage / GetMessage handed out on this thread.
thread_local ::MSG t_last_native{};

bool is_colour_message(UINT msg) {
    return msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC;
}

}  // namespace

void ToNativeMessage(const MSG& msg, tagMSG* native) {
    const auto hwnd = reinterpret_cast<::HWND>(msg.hwnd);
    if (t_last_native.hwnd == hwnd && t_last_native.message == msg.message &&
        t_last_native.wParam == msg.wParam && t_last_native.lParam == msg.lParam) {
        *native = t_last_native;
        return;
    }
    *native = ::MSG{};
    native->hwnd = hwnd;
    native->message = msg.message;
    native->wParam = msg.wParam;
    native->lParam = msg.lParam;
    native->time = static_cast<DWORD>(GetMessageTime());
    const DWORD pos = GetMessagePos();
    native->pt.x = static_cast<short>(LOWORD(pos));
    native->pt.y = static_cast<short>(HIWORD(pos));
}

MSG FromNativeMessage(const tagMSG& native) {
    t_last_native = native;
    MSG msg;
    msg.hwnd = reinterpret_cast<HWND>(native.hwnd);
    msg.message = native.message;
    msg.wParam = native.wParam;
    msg.lParam = native.lParam;
    return msg;
}

WPARAM NativeFontFor(WPARAM font) {
    if (font == 0 || GetObjectType(reinterpret_cast<HGDIOBJ>(font)) == OBJ_FONT) {
        return font;
    }
    // Made once and kept for the process: every control may hold it until the end.
    static const HFONT message_font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
            if (HFONT created = CreateFontIndirectW(&metrics.lfMessageFont)) {
                return created;
            }
        }
        return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }();
    return reinterpret_cast<WPARAM>(message_font);
}

LRESULT NativeColourAnswer(UINT msg, WPARAM device_context, LRESULT answer) {
    if (!is_colour_message(msg) || answer == 0 ||
        GetObjectType(reinterpret_cast<HGDIOBJ>(answer)) == OBJ_BRUSH) {
        return answer;
    }
    const auto hdc = reinterpret_cast<HDC>(device_context);
    SetTextColor(hdc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(hdc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

}  // namespace platform::user32
