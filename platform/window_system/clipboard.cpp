#include "platform/clipboard.h"

#include <mutex>

#include "platform/display.h"

namespace platform {
namespace {

struct Clipboard {
    std::mutex mutex;
    std::string text;
};

Clipboard& clipboard() {
    static Clipboard instance;
    return instance;
}

}  // namespace

bool SetClipboardText(std::string_view text) {
    std::string copy(text);
    {
        std::lock_guard lock(clipboard().mutex);
        clipboard().text = copy;
    }
    CurrentDisplay().set_clipboard_text(copy);
    return true;
}

std::string GetClipboardText() {
    std::lock_guard lock(clipboard().mutex);
    return clipboard().text;
}

void EmptyClipboard() {
    std::lock_guard lock(clipboard().mutex);
    clipboard().text.clear();
}

}  // namespace platform
