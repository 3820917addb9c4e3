#include "platform/message_queue.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include "platform/display.h"
#include "platform/window_system/state.h"
#include "platform/window_system/window_system.h"

namespace platform {

using detail::FindWindowData;
using detail::SentMessage;
using detail::SharedState;
using detail::ThreadQueue;
using detail::WindowData;

struct SendGate::State {
    bool closed = false;  // guarded by the window system's lock
};

namespace {

thread_local int t_send_depth = 0;
// The count of key changes when this thread last looked at a key or ended a wait: a change
// since then ends its next wait, so that a loop that looks at a key and then waits cannot sleep
// through a press made between the two.
thread_local std::uint64_t t_key_changes_seen = 0;

// Messages popped from a queue whose procedure is running now; a gate that closes meanwhile
// releases their senders at once.
std::vector<std::shared_ptr<SentMessage>>& delivering() {
    static std::vector<std::shared_ptr<SentMessage>> list;
    return list;
}

bool visible_now(const WindowData& w) {
    const WindowData* cur = &w;
    while (cur != nullptr) {
        if (!cur->visible) {
            return false;
        }
        if ((cur->style & WS_CHILD) == 0) {
            return true;
        }
        cur = FindWindowData(cur->parent);
    }
    return false;
}

// First visible window of the thread that needs painting (caller holds the lock).
HWND paint_candidate(std::thread::id thread, HWND hwnd_filter) {
    for (const auto& [handle, w] : SharedState().windows) {
        if (w->owner == thread && w->needs_paint && !w->destroying && visible_now(*w) &&
            (hwnd_filter == 0 || hwnd_filter == handle)) {
            return handle;
        }
    }
    return 0;
}

bool matches(const MSG& m, HWND hwnd_filter, UINT min_filter, UINT max_filter) {
    if (m.message == WM_QUIT) {
        return true;
    }
    if (hwnd_filter != 0 && m.hwnd != hwnd_filter) {
        return false;
    }
    if (min_filter == 0 && max_filter == 0) {
        return true;
    }
    return m.message >= min_filter && m.message <= max_filter;
}

// Wakes the senders of the messages delivered so far, once the lock is given up: a sender woken
// while it is held would at once wait for it again.
class SendersRelease {
  public:
    SendersRelease() = default;
    ~SendersRelease() { now(); }
    SendersRelease(const SendersRelease&) = delete;
    SendersRelease& operator=(const SendersRelease&) = delete;
    void due() { m_due = true; }
    void now() {
        if (std::exchange(m_due, false)) {
            SharedState().send_finished.notify_all();
        }
    }

  private:
    bool m_due = false;
};

// Delivers every message other threads have sent to the calling thread's windows.
void deliver_sent_messages() {
    auto self = std::this_thread::get_id();
    SendersRelease release;  // outlives the lock
    std::unique_lock lock(SharedState().mutex);
    ThreadQueue& queue = detail::QueueOf(self);
    while (!queue.sent.empty()) {
        std::shared_ptr<SentMessage> m = queue.sent.front();
        queue.sent.pop_front();
        WindowData* w = FindWindowData(m->sent.hwnd);
        WNDPROC proc = w != nullptr ? w->proc : nullptr;
        bool exists = w != nullptr;
        delivering().push_back(m);
        lock.unlock();
        release.now();  // the senders done so far go on before another procedure runs
        // Whatever the procedure does, even throw, the sender is released and the depth
        // restored: a sender left waiting would block its thread for good.
        struct Completion {
            std::unique_lock<std::mutex>& lock;
            SendersRelease& release;
            const std::shared_ptr<SentMessage>& message;
            LRESULT result = 0;
            ~Completion() {
                if (!lock.owns_lock()) {
                    lock.lock();
                }
                auto& list = delivering();
                list.erase(std::remove(list.begin(), list.end(), message), list.end());
                message->result = result;
                message->done = true;
                release.due();
            }
        } completion{lock, release, m};
        if (exists) {
            struct Depth {
                Depth() { ++t_send_depth; }
                ~Depth() { --t_send_depth; }
            } depth;
            completion.result =
                CallWindowProc(proc, m->sent.hwnd, m->sent.message, m->sent.wParam, m->sent.lParam);
        }
    }
}

// Queues a cross-thread send and waits for its delivery or withdrawal. Caller holds `lock`.
LRESULT send_across(std::unique_lock<std::mutex>& lock, std::thread::id owner, HWND hwnd, UINT msg,
                    WPARAM wparam, LPARAM lparam, const void* gate, bool* delivered) {
    auto m = std::make_shared<SentMessage>();
    m->sent = MSG{hwnd, msg, wparam, lparam};
    m->gate = gate;
    ThreadQueue& queue = detail::QueueOf(owner);  // a queue, once made, stays
    queue.sent.push_back(m);
    // Woken with the lock given up, the receiver takes the message at once rather than waiting
    // for this thread to wait. Whatever it does meanwhile shows in `m`.
    lock.unlock();
    detail::WakeQueue(queue);
    lock.lock();
    SharedState().send_finished.wait(lock, [&] { return m->done || m->withdrawn; });
    if (delivered != nullptr) {
        *delivered = m->done;
    }
    return m->done ? m->result : 0;
}

LRESULT send_message(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, SendGate::State* gate,
                     bool* delivered) {
    std::unique_lock lock(SharedState().mutex);
    if (delivered != nullptr) {
        *delivered = false;
    }
    if (gate != nullptr && gate->closed) {
        return 0;
    }
    WindowData* w = FindWindowData(hwnd);
    if (w == nullptr) {
        return 0;
    }
    if (w->owner != std::this_thread::get_id()) {
        return send_across(lock, w->owner, hwnd, msg, wparam, lparam, gate, delivered);
    }
    WNDPROC proc = w->proc;
    lock.unlock();
    if (delivered != nullptr) {
        *delivered = true;
    }
    return CallWindowProc(proc, hwnd, msg, wparam, lparam);
}

bool post_to_owner(HWND hwnd, const MSG& m, bool front) {
    std::lock_guard lock(SharedState().mutex);
    std::thread::id owner = std::this_thread::get_id();
    if (hwnd != 0) {
        WindowData* w = FindWindowData(hwnd);
        if (w == nullptr) {
            return false;
        }
        owner = w->owner;
    }
    ThreadQueue& queue = detail::QueueOf(owner);
    if (front) {
        queue.posted.push_front(m);
    } else {
        queue.posted.push_back(m);
    }
    detail::WakeQueue(queue);
    return true;
}

bool input_ready(std::thread::id self) {
    ThreadQueue& queue = detail::QueueOf(self);
    return !queue.sent.empty() || !queue.posted.empty() || paint_candidate(self, 0) != 0;
}

}  // namespace

bool PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return post_to_owner(hwnd, MSG{hwnd, msg, wparam, lparam, 0}, false);
}

void PostQuitMessage(int exit_code) {
    post_to_owner(0, MSG{0, WM_QUIT, static_cast<WPARAM>(exit_code), 0, 0}, false);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return send_message(hwnd, msg, wparam, lparam, nullptr, nullptr);
}

SendGate::SendGate() : m_state(std::make_shared<State>()) {}

SendGate::~SendGate() {
    close();
}

LRESULT SendGate::send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool* delivered) {
    return send_message(hwnd, msg, wparam, lparam, m_state.get(), delivered);
}

void SendGate::close() {
    std::lock_guard lock(SharedState().mutex);
    if (m_state->closed) {
        return;
    }
    m_state->closed = true;
    const void* gate = m_state.get();
    for (auto& [id, queue] : SharedState().queues) {
        auto& sent = queue->sent;
        for (auto& m : sent) {
            if (m->gate == gate) {
                m->withdrawn = true;
            }
        }
        sent.erase(std::remove_if(sent.begin(), sent.end(),
                                  [gate](const auto& m) { return m->gate == gate; }),
                   sent.end());
    }
    for (auto& m : delivering()) {
        if (m->gate == gate) {
            m->withdrawn = true;
        }
    }
    SharedState().send_finished.notify_all();
}

bool SendGate::closed() const {
    std::lock_guard lock(SharedState().mutex);
    return m_state->closed;
}

bool PeekMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter, UINT remove) {
    Display& display = CurrentDisplay();
    display.poll();
    deliver_sent_messages();
    auto self = std::this_thread::get_id();
    std::unique_lock lock(SharedState().mutex);
    ThreadQueue& queue = detail::QueueOf(self);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
        if (matches(*it, hwnd_filter, min_filter, max_filter)) {
            if (msg != nullptr) {
                *msg = *it;
            }
            if ((remove & PM_REMOVE) != 0) {
                queue.posted.erase(it);
            }
            return true;
        }
    }
    if (min_filter == 0 && max_filter == 0 ? true
                                           : (WM_PAINT >= min_filter && WM_PAINT <= max_filter)) {
        if (HWND paint = paint_candidate(self, hwnd_filter)) {
            if (msg != nullptr) {
                *msg = MSG{paint, WM_PAINT, 0, 0, 0};
            }
            return true;
        }
    }
    lock.unlock();
    display.paint(PaintTime::Busy);
    return false;
}

bool GetMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter) {
    MSG local;
    MSG* out = msg != nullptr ? msg : &local;
    while (!PeekMessage(out, hwnd_filter, min_filter, max_filter, PM_REMOVE)) {
        MsgWaitForInput(std::chrono::hours(1));
    }
    return out->message != WM_QUIT;
}

bool TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->character == 0 ||
        (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN)) {
        return false;
    }
    UINT char_msg = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    return post_to_owner(msg->hwnd, MSG{msg->hwnd, char_msg, msg->character, msg->lParam, 0}, true);
}

LRESULT DispatchMessage(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == 0) {
        return 0;
    }
    WNDPROC proc = nullptr;
    {
        std::lock_guard lock(SharedState().mutex);
        WindowData* w = FindWindowData(msg->hwnd);
        if (w == nullptr) {
            return 0;
        }
        proc = w->proc;
    }
    LRESULT result = CallWindowProc(proc, msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT) {
        // A procedure that neither painted nor passed the message on would otherwise be asked
        // to paint forever.
        ValidateRect(msg->hwnd);
    }
    return result;
}

bool MsgWaitForInput(std::chrono::milliseconds timeout) {
    auto self = std::this_thread::get_id();
    auto deadline = std::chrono::steady_clock::now() + timeout;
    Display& display = CurrentDisplay();
    display.poll();
    const std::uint64_t key_changes = t_key_changes_seen;
    // Only the changes a check looked at count as seen: one made after the last check, while
    // this call returns for another reason, must still end the next wait.
    std::uint64_t looked_at = key_changes;
    struct Seen {
        std::uint64_t& count;
        ~Seen() { t_key_changes_seen = count; }
    } seen_when_returning{looked_at};
    auto ready = [&] {
        looked_at = SharedState().key_changes;
        return input_ready(self) || looked_at != key_changes;
    };
    {
        std::lock_guard lock(SharedState().mutex);
        if (ready()) {
            return true;
        }
    }
    display.paint(PaintTime::Idle);
    if (display.wait(timeout)) {
        std::lock_guard lock(SharedState().mutex);
        return ready();
    }
    std::unique_lock lock(SharedState().mutex);
    ThreadQueue& queue = detail::QueueOf(self);
    return queue.arrived.wait_until(lock, deadline, ready);
}

bool InSendMessage() {
    return t_send_depth > 0;
}

void InjectKeyDown(int virtual_key, std::uint32_t character, KeyStateChange change) {
    if (change == KeyStateChange::Apply) {
        SetAsyncKeyState(virtual_key, true);
    }
    bool alt = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    bool ctrl = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
    bool system = (alt && !ctrl) || virtual_key == VK_F10 || virtual_key == VK_MENU;
    HWND target = GetFocus();
    if (target == 0) {
        target = GetActiveWindow();
        system = system || target != 0;
    }
    if (target == 0) {
        return;
    }
    LPARAM lparam = 1 | (alt ? KF_ALTDOWN_LPARAM : 0);
    post_to_owner(target,
                  MSG{target, system ? WM_SYSKEYDOWN : WM_KEYDOWN, static_cast<WPARAM>(virtual_key),
                      lparam, character},
                  false);
}

void InjectKeyUp(int virtual_key, KeyStateChange change) {
    if (change == KeyStateChange::Apply) {
        SetAsyncKeyState(virtual_key, false);
    }
    bool alt = (GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    HWND target = GetFocus();
    if (target == 0) {
        target = GetActiveWindow();
    }
    if (target == 0) {
        return;
    }
    LPARAM lparam = static_cast<LPARAM>(0xC0000001u) | (alt ? KF_ALTDOWN_LPARAM : 0);
    post_to_owner(
        target,
        MSG{target, alt ? WM_SYSKEYUP : WM_KEYUP, static_cast<WPARAM>(virtual_key), lparam, 0},
        false);
}

void InjectMouse(HWND hwnd, UINT msg, int x, int y, WPARAM keys) {
    post_to_owner(hwnd, MSG{hwnd, msg, keys, MAKELPARAM(x, y), 0}, false);
}

short GetAsyncKeyState(int virtual_key) {
    if (virtual_key < 0 || virtual_key > 255) {
        return 0;
    }
    t_key_changes_seen = SharedState().key_changes;
    std::optional<bool> physical = CurrentDisplay().key_down(virtual_key);
    bool down =
        physical ? *physical : SharedState().keys[static_cast<std::size_t>(virtual_key)].load();
    return down ? static_cast<short>(0x8000) : 0;
}

short GetKeyState(int virtual_key) {
    return GetAsyncKeyState(virtual_key);
}

void SetAsyncKeyState(int virtual_key, bool down) {
    if (virtual_key < 0 || virtual_key > 255) {
        return;
    }
    if (SharedState().keys[static_cast<std::size_t>(virtual_key)].exchange(down) == down) {
        return;
    }
    // A loop resting in MsgWaitForInput polls keys; let it see the change at once.
    std::lock_guard lock(SharedState().mutex);
    ++SharedState().key_changes;
    for (auto& [id, queue] : SharedState().queues) {
        detail::WakeQueue(*queue);
    }
}

void Sleep(unsigned milliseconds) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    CurrentDisplay().paint(PaintTime::Idle);
    std::this_thread::sleep_until(deadline);
}

}  // namespace platform
