// The clipboard's text on the system clipboard (CF_UNICODETEXT), converted from and to the
// ANSI code page.

#include "platform/clipboard.h"

#include <cstring>

#include "platform/user32/native_bridge.h"

#include <windows.h>

namespace platform {
namespace {

// The clipboard is shared with every program; another one may hold it for a moment.
class OpenedClipboard {
  public:
    OpenedClipboard() {
        for (int attempt = 0; attempt < 10 && !m_open; ++attempt) {
            m_open = OpenClipboard(nullptr) != 0;
            if (!m_open) {
                ::Sleep(10);
            }
        }
    }
    ~OpenedClipboard() {
        if (m_open) {
            CloseClipboard();
        }
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;
    bool open() const { return m_open; }

  private:
    bool m_open = false;
};

}  // namespace

bool SetClipboardText(std::string_view text) {
    const std::wstring wide = AsWide(TextToUtf16(text));
    const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (block == nullptr) {
        return false;
    }
    void* data = GlobalLock(block);
    if (data == nullptr) {
        GlobalFree(block);
        return false;
    }
    std::memcpy(data, wide.c_str(), bytes);
    GlobalUnlock(block);
    OpenedClipboard clipboard;
    if (!clipboard.open() || ::EmptyClipboard() == 0 ||
        SetClipboardData(CF_UNICODETEXT, block) == nullptr) {
        GlobalFree(block);
        return false;
    }
    return true;  // the clipboard owns the block now
}

std::string GetClipboardText() {
    OpenedClipboard clipboard;
    if (!clipboard.open()) {
        return {};
    }
    HANDLE block = GetClipboardData(CF_UNICODETEXT);
    if (block == nullptr) {
        return {};
    }
    const auto* data = static_cast<const wchar_t*>(GlobalLock(block));
    if (data == nullptr) {
        return {};
    }
    const std::size_t capacity = GlobalSize(block) / sizeof(wchar_t);
    std::size_t length = 0;
    while (length < capacity && data[length] != L'\0') {
        ++length;
    }
    std::string text = TextFromUtf16(AsUtf16(std::wstring_view(data, length)));
    GlobalUnlock(block);
    return text;
}

void EmptyClipboard() {
    OpenedClipboard clipboard;
    if (clipboard.open()) {
        ::EmptyClipboard();
    }
}

}  // namespace platform
