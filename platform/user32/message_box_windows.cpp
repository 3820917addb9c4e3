// The message box over the system's own (MessageBoxW), and the beep.

#include "platform/message_box.h"

#include <algorithm>

#include "platform/user32/native_bridge.h"

#include <windows.h>

#undef MessageBox

namespace platform {
namespace {

using user32::NativeHandle;

// The static control that shows a box's text.
constexpr int kTextControlId = 0xFFFF;

}  // namespace

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT style) {
    const std::wstring wide_text = AsWide(TextToUtf16(text));
    const std::wstring wide_caption = AsWide(TextToUtf16(caption));
    // An owner that no longer exists would make the system refuse the box; show it unowned.
    const ::HWND owner_window = ::IsWindow(NativeHandle(owner)) ? NativeHandle(owner) : nullptr;
    return MessageBoxW(owner_window, wide_text.c_str(), wide_caption.c_str(), style);
}

bool GetMessageBoxContent(HWND box, MessageBoxContent* content) {
    wchar_t cls[16] = {};
    if (content == nullptr || GetClassNameW(NativeHandle(box), cls, 16) == 0 ||
        std::wstring_view(cls) != L"#32770") {
        return false;
    }
    const ::HWND text = ::GetDlgItem(NativeHandle(box), kTextControlId);
    if (text == nullptr) {
        return false;
    }
    auto window_text = [](::HWND hwnd) {
        std::wstring wide(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
        wide.resize(static_cast<std::size_t>(
            GetWindowTextW(hwnd, wide.data(), static_cast<int>(wide.size()))));
        return TextFromUtf16(AsUtf16(wide));
    };
    *content = MessageBoxContent{};
    content->text = window_text(text);
    content->caption = window_text(NativeHandle(box));
    for (::HWND child = GetWindow(NativeHandle(box), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        wchar_t child_class[16] = {};
        GetClassNameW(child, child_class, 16);
        // The box's own buttons are shown (its unused ones are hidden), whether or not the
        // box itself is on screen yet.
        const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
        if (std::wstring_view(child_class) == L"Button" && (style & WS_VISIBLE) != 0) {
            const int id = ::GetDlgCtrlID(child);
            content->buttons.push_back(id);
            if ((style & 0x0F) == BS_DEFPUSHBUTTON) {
                content->default_button = id;
            }
        }
    }
    // Before the box is on screen its default button may not look like one yet: ask the
    // dialog manager then, if it names one of the buttons.
    const LRESULT default_id = SendMessageW(NativeHandle(box), DM_GETDEFID, 0, 0);
    if (content->default_button == 0 && HIWORD(default_id) == DC_HASDEFID &&
        std::find(content->buttons.begin(), content->buttons.end(), LOWORD(default_id)) !=
            content->buttons.end()) {
        content->default_button = LOWORD(default_id);
    }
    // The style the box was made with is not kept by the system.
    return true;
}

bool Beep(unsigned frequency_hz, unsigned duration_ms) {
    if (::Beep(frequency_hz, duration_ms) != 0) {
        return true;
    }
    // No tone generator (a machine without one, or a remote session): the default sound.
    return MessageBeep(MB_OK) != 0;
}

}  // namespace platform
