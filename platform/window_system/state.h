#pragma once
// Private to the window system: the state behind window.h and message_queue.h.
//
// One lock guards the window table and the queues. Window procedures are always called with
// the lock released, because they re-enter the window system. Window data is only read or
// changed on its owner thread, except the fields other threads need to route a message (the
// window's existence and its owner), which they read under the lock.

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/message_queue.h"
#include "platform/window.h"

namespace platform::detail {

struct WindowData {
    HWND handle = 0;
    std::string class_name;
    WNDPROC proc = nullptr;
    HWND parent = 0;
    int id = 0;
    std::string text;
    DWORD style = 0;
    DWORD ex_style = 0;
    RECT rect{};  // screen coordinates for top-level windows, parent client ones for children
    bool visible = false;
    bool enabled = true;
    bool needs_paint = false;
    bool erase = false;
    bool destroying = false;
    LONG_PTR user_data = 0;
    LONG_PTR msg_result = 0;
    HFONT font = 0;
    std::thread::id owner;
    std::vector<HWND> children;
};

struct SentMessage {
    MSG sent;  // the window and the message with its parameters
    LRESULT result = 0;
    bool done = false;
    bool withdrawn = false;
    const void* gate = nullptr;  // the SendGate::State it came through, or nullptr
};

struct ThreadQueue {
    std::deque<MSG> posted;
    std::deque<std::shared_ptr<SentMessage>> sent;
    std::condition_variable arrived;
};

struct ClassInfo {
    std::string name;
    WNDPROC proc = nullptr;
};

struct State {
    std::mutex mutex;
    std::condition_variable send_finished;
    std::map<HWND, std::unique_ptr<WindowData>> windows;  // ordered: creation order
    std::vector<ClassInfo> classes;
    std::unordered_map<std::thread::id, std::unique_ptr<ThreadQueue>> queues;
    HWND next_handle = 0x100;
    HWND focus = 0;
    HWND active = 0;
    std::array<std::atomic<bool>, 256> keys{};
    std::atomic<std::uint64_t> key_changes{0};  // changes of the key state set through the platform
};

State& SharedState();

// Lookups; the caller holds the lock or is the owner thread.
WindowData* FindWindowData(HWND hwnd);
ThreadQueue& QueueOf(std::thread::id thread);  // caller holds the lock

// Wakes whoever waits for the given thread's queue (caller holds the lock).
void WakeQueue(ThreadQueue& queue);

// WM_GETTEXT answered from a text the window keeps (DefWindowProc's, an edit control's): copies
// the start of `text` into the buffer of `wparam` bytes at `lparam`, at most wparam - 1 bytes and
// a terminating NUL, and returns the count copied; 0, touching nothing, when there is no buffer
// or it has no room. Never fails.
inline LRESULT AnswerGetText(std::string_view text, WPARAM wparam, LPARAM lparam) {
    char* buffer = reinterpret_cast<char*>(lparam);
    if (buffer == nullptr || wparam == 0) {
        return 0;
    }
    std::size_t n = std::min<std::size_t>(text.size(), wparam - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<LRESULT>(n);
}

}  // namespace platform::detail
