#pragma once
// Helpers for the tests of the Win32 window system. <windows.h> is included here, after the
// platform headers: its macros replace the platform's names for messages, styles and keys (same
// values), so tests write those unqualified; the function macros it defines are taken back.
//
// Helpers for the tests of the Win32 window system: a thread-local CBT hook that answers the
// windows the code under test opens, pumping for a while, and dialog templates.

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/types.h"

#include <windows.h>

#undef CallWindowProc
#undef CreateWindowEx
#undef DefWindowProc
#undef DialogBoxIndirectParam
#undef DispatchMessage
#undef GetClassName
#undef GetMessage
#undef GetWindowLongPtr
#undef GetWindowText
#undef GetWindowTextLength
#undef MessageBox
#undef PeekMessage
#undef PostMessage
#undef RegisterClass
#undef SendMessage
#undef SetWindowLongPtr
#undef SetWindowText
#undef TranslateAccelerator
#undef IsDialogMessage
#undef CreateDialogIndirectParam
#undef GetOpenFileName
#undef GetSaveFileName
#undef OPENFILENAME

namespace kadro::test {

// Calls `on_activate` with each window activated on this thread while the hook lives (message
// boxes, dialogs, choosers: the moment they are about to be shown, their controls made).
class ActivationHook {
  public:
    explicit ActivationHook(std::function<void(::HWND)> on_activate);
    ~ActivationHook();
    ActivationHook(const ActivationHook&) = delete;
    ActivationHook& operator=(const ActivationHook&) = delete;

  private:
    HHOOK m_hook = nullptr;
};

// Handles this thread's messages until `done` is true or the time is up; returns `done()`.
bool PumpUntil(const std::function<bool()>& done,
               std::chrono::milliseconds limit = std::chrono::seconds(5));

// A dialog template in the standard layout: header with the title, then one item per call of
// add_item. Strings are written as UTF-16 code units of the given ANSI bytes read as Latin-1,
// as the program's template writer does for plain titles.
class TemplateBuilder {
  public:
    TemplateBuilder(platform::DWORD style, short cx, short cy, std::string_view title);
    TemplateBuilder& add_item(platform::DWORD style, short x, short y, short cx, short cy,
                              platform::WORD id, std::string_view class_name);
    std::string bytes() const;

  private:
    void put16(std::uint16_t v);
    void put32(std::uint32_t v);
    void put_text(std::string_view text);
    void align();

    std::string m_bytes;
    std::size_t m_count_offset = 0;
    std::uint16_t m_count = 0;
};

// The text of a real window, as UTF-16.
std::wstring WideText(::HWND hwnd);

}  // namespace kadro::test
