// The message queue over the real one of each Win32 thread.
//
// Posting, sending, retrieval, translation and dispatch are the system's own. The one piece
// the system lacks is a cross-thread send that the receiver can withdraw (SendGate): a real
// SendMessage cannot be called off, and a port that closes while its reader thread sits in
// one, waiting for the very thread that is closing, would deadlock. So a gate does not call
// SendMessage across threads. It leaves a record of the send, hands the receiving thread a
// notification (SendNotifyMessage: delivered like a sent message, inside the receiver's
// retrieval calls and before its posted messages, but without blocking the sender), and waits
// on the record's event. The receiving thread runs the real message only when the record is
// still pending; close() marks every record of the gate withdrawn and
// releases its sender, so a notification that arrives later finds nothing to do.

#include "platform/message_queue.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/user32/native_bridge.h"
#include "platform/window.h"

#include <windows.h>

#undef DispatchMessage
#undef GetMessage
#undef PeekMessage
#undef PostMessage
#undef SendMessage

namespace platform {
namespace {

using user32::NativeHandle;

// ---- sends through a gate ------------------------------------------------------------------

enum class SendStage { Pending, Running, Done, Withdrawn };

struct GateSend {
    MSG sent;  // the window and the message with its parameters
    LRESULT result = 0;
    SendStage stage = SendStage::Pending;  // guarded by the registry's mutex
    const void* gate = nullptr;
    HANDLE finished = nullptr;  // manual-reset; set when the sender may return

    GateSend() : finished(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~GateSend() {
        if (finished != nullptr) {
            CloseHandle(finished);
        }
    }
    GateSend(const GateSend&) = delete;
    GateSend& operator=(const GateSend&) = delete;
};

// Sends in flight, by number: the notification carries the number, never a pointer, so one
// that arrives after its sender has gone finds nothing instead of freed memory.
struct GateSendRegistry {
    std::mutex mutex;
    std::unordered_map<std::uint64_t, std::shared_ptr<GateSend>> sends;
    std::uint64_t next = 1;
};

GateSendRegistry& gate_sends() {
    static GateSendRegistry registry;
    return registry;
}

// The private message that carries a gate send's number to the receiving thread's procedure.
UINT gate_message() {
    static const UINT message = RegisterWindowMessageW(L"KadroGateSend");
    return message;
}

// Runs a gate send on the receiving thread when it is still pending.
void deliver_gate_send(std::uint64_t number) {
    std::shared_ptr<GateSend> send;
    {
        GateSendRegistry& r = gate_sends();
        std::lock_guard lock(r.mutex);
        auto found = r.sends.find(number);
        if (found == r.sends.end() || found->second->stage != SendStage::Pending) {
            return;
        }
        send = found->second;
        send->stage = SendStage::Running;
    }
    struct Release {
        std::shared_ptr<GateSend>& send;
        LRESULT result = 0;
        // Whatever the procedure does, even throw, the sender is released.
        ~Release() {
            GateSendRegistry& r = gate_sends();
            std::lock_guard lock(r.mutex);
            if (send->stage == SendStage::Running) {
                send->result = result;
                send->stage = SendStage::Done;
            }
            SetEvent(send->finished);
        }
    } release{send};
    release.result = SendMessageW(NativeHandle(send->sent.hwnd), send->sent.message,
                                  send->sent.wParam, send->sent.lParam);
}

// Each thread that owns windows of the program gets a receiver: a hidden message-only window of
// its own, made by the thread itself (a sender cannot make a window for another thread). A
// gate send goes to the receiver of the target window's thread, which runs the message there
// as a same-thread SendMessage would: through the window's whole procedure chain.
LRESULT CALLBACK GateReceiverProc(::HWND hwnd, UINT msg, ::WPARAM wparam, ::LPARAM lparam);

struct ReceiverTable {
    std::mutex mutex;
    std::unordered_map<DWORD, ::HWND> by_thread;
};

ReceiverTable& receivers() {
    static ReceiverTable table;
    return table;
}

// HWND_MESSAGE, spelt out: the macro's cast would name our HWND inside this namespace.
::HWND message_only_parent() {
    return reinterpret_cast<::HWND>(static_cast<INT_PTR>(-3));
}

::HWND receiver_of(DWORD thread) {
    ReceiverTable& t = receivers();
    std::lock_guard lock(t.mutex);
    auto found = t.by_thread.find(thread);
    return found != t.by_thread.end() ? found->second : nullptr;
}

// The calling thread's receiver; gone with the thread.
struct ThreadReceiver {
    ::HWND hwnd = nullptr;

    ThreadReceiver() {
        static const ATOM cls = [] {
            WNDCLASSEXW c{};
            c.cbSize = sizeof(c);
            c.lpfnWndProc = &GateReceiverProc;
            c.hInstance = GetModuleHandleW(nullptr);
            c.lpszClassName = L"KadroGateReceiver";
            return RegisterClassExW(&c);
        }();
        if (cls == 0) {
            return;
        }
        hwnd = CreateWindowExW(0, L"KadroGateReceiver", L"", 0, 0, 0, 0, 0, message_only_parent(),
                               nullptr, GetModuleHandleW(nullptr), nullptr);
        if (hwnd != nullptr) {
            ReceiverTable& t = receivers();
            std::lock_guard lock(t.mutex);
            t.by_thread[GetCurrentThreadId()] = hwnd;
        }
    }
    ~ThreadReceiver() {
        if (hwnd == nullptr) {
            return;
        }
        {
            ReceiverTable& t = receivers();
            std::lock_guard lock(t.mutex);
            t.by_thread.erase(GetCurrentThreadId());
        }
        DestroyWindow(hwnd);
    }
    ThreadReceiver(const ThreadReceiver&) = delete;
    ThreadReceiver& operator=(const ThreadReceiver&) = delete;
};

LRESULT CALLBACK GateReceiverProc(::HWND hwnd, UINT msg, ::WPARAM wparam, ::LPARAM lparam) {
    if (msg == gate_message()) {
        deliver_gate_send(static_cast<std::uint64_t>(lparam));
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

}  // namespace

namespace user32 {

void EnsureGateReceiver() {
    thread_local ThreadReceiver receiver;
}

}  // namespace user32

// ---- posting and sending --------------------------------------------------------------------

bool PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return PostMessageW(NativeHandle(hwnd), msg, wparam, lparam) != 0;
}

void PostQuitMessage(int exit_code) {
    ::PostQuitMessage(exit_code);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (msg == WM_SETFONT) {
        wparam = user32::NativeFontFor(wparam);
    }
    return SendMessageW(NativeHandle(hwnd), msg, wparam, lparam);
}

struct SendGate::State {
    std::atomic<bool> closed{false};
};

SendGate::SendGate() : m_state(std::make_shared<State>()) {}

SendGate::~SendGate() {
    close();
}

LRESULT SendGate::send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool* delivered) {
    if (delivered != nullptr) {
        *delivered = false;
    }
    if (m_state->closed.load() || !IsWindow(hwnd)) {
        return 0;
    }
    if (GetWindowThreadProcessId(NativeHandle(hwnd), nullptr) == GetCurrentThreadId()) {
        if (delivered != nullptr) {
            *delivered = true;
        }
        return SendMessageW(NativeHandle(hwnd), msg, wparam, lparam);
    }
    auto send = std::make_shared<GateSend>();
    send->sent = MSG{hwnd, msg, wparam, lparam};
    send->gate = m_state.get();
    std::uint64_t number = 0;
    GateSendRegistry& r = gate_sends();
    {
        std::lock_guard lock(r.mutex);
        // Checked again under the registry's lock: close() takes it too, so a send either
        // sees the gate closed here or is found and withdrawn by close().
        if (m_state->closed.load()) {
            return 0;
        }
        number = r.next++;
        r.sends[number] = send;
    }
    const ::HWND receiver = receiver_of(GetWindowThreadProcessId(NativeHandle(hwnd), nullptr));
    // No receiver: the window's thread made no window through this layer; nothing to run it.
    const bool queued =
        receiver != nullptr &&
        SendNotifyMessageW(receiver, gate_message(), 0, static_cast<::LPARAM>(number)) != 0;
    // A window destroyed before its thread took the notification never runs it: look again
    // now and then, so that the sender is not left waiting for good.
    while (queued && WaitForSingleObject(send->finished, 100) == WAIT_TIMEOUT) {
        std::lock_guard lock(r.mutex);
        if (send->stage == SendStage::Pending && !IsWindow(hwnd)) {
            break;
        }
    }
    std::lock_guard lock(r.mutex);
    r.sends.erase(number);
    if (send->stage == SendStage::Pending) {
        send->stage = SendStage::Withdrawn;  // window gone or no receiver
    }
    if (delivered != nullptr) {
        *delivered = send->stage == SendStage::Done;
    }
    return send->stage == SendStage::Done ? send->result : 0;
}

void SendGate::close() {
    GateSendRegistry& r = gate_sends();
    std::lock_guard lock(r.mutex);
    m_state->closed.store(true);
    for (auto& [number, send] : r.sends) {
        if (send->gate == m_state.get() &&
            (send->stage == SendStage::Pending || send->stage == SendStage::Running)) {
            send->stage = SendStage::Withdrawn;
            SetEvent(send->finished);
        }
    }
}

bool SendGate::closed() const {
    return m_state->closed.load();
}

// ---- retrieval ------------------------------------------------------------------------------

bool PeekMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter, UINT remove) {
    ::MSG real{};
    if (PeekMessageW(&real, NativeHandle(hwnd_filter), min_filter, max_filter, remove) == 0) {
        return false;
    }
    MSG converted = user32::FromNativeMessage(real);
    if (msg != nullptr) {
        *msg = converted;
    }
    return true;
}

bool GetMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter) {
    ::MSG real{};
    // -1 (an invalid filter window) counts as the end, as a quit would.
    const BOOL got = GetMessageW(&real, NativeHandle(hwnd_filter), min_filter, max_filter);
    MSG converted = user32::FromNativeMessage(real);
    if (msg != nullptr) {
        *msg = converted;
    }
    return got > 0;
}

bool TranslateMessage(const MSG* msg) {
    if (msg == nullptr) {
        return false;
    }
    ::MSG real{};
    user32::ToNativeMessage(*msg, &real);
    return ::TranslateMessage(&real) != 0;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (msg == nullptr) {
        return 0;
    }
    ::MSG real{};
    user32::ToNativeMessage(*msg, &real);
    return DispatchMessageW(&real);
}

namespace {

// Whether a top-level window of the calling thread is on the screen (shown, not minimised):
// one the operator can type into.
bool window_on_screen() {
    bool found = false;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](::HWND hwnd, ::LPARAM found) -> BOOL {
            if (IsWindowVisible(hwnd) && !IsIconic(hwnd)) {
                *reinterpret_cast<bool*>(found) = true;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<::LPARAM>(&found));
    return found;
}

// Keys typed into another program never reach this thread's queue. While the thread has no
// window on the screen the operator has nowhere else to type, so for the length of a wait its
// receiver takes the keyboard's raw input from wherever the keyboard is (RIDEV_INPUTSINK): each
// key pressed, repeated or released in any program posts it a WM_INPUT, which ends the wait,
// and the caller polls the key state. The system queues that message without waiting for this
// thread (a low-level hook would hold up every keystroke on the desktop while this thread sits
// in a write or a pause) and posts nothing while no key moves (a timed poll would wake the
// thread all along). The messages left behind reach the receiver's default procedure, which
// frees them, at the caller's next retrieval. With a window on the screen nothing is
// registered: Escape typed into another program then must not wake the wait.
class KeyboardAnywhere {
  public:
    KeyboardAnywhere() {
        user32::EnsureGateReceiver();
        const ::HWND receiver = receiver_of(GetCurrentThreadId());
        if (receiver == nullptr || window_on_screen()) {
            return;
        }
        RAWINPUTDEVICE keyboard{kGenericDesktop, kKeyboard, RIDEV_INPUTSINK, receiver};
        m_registered = RegisterRawInputDevices(&keyboard, 1, sizeof(keyboard)) != FALSE;
    }
    ~KeyboardAnywhere() {
        if (m_registered) {
            RAWINPUTDEVICE keyboard{kGenericDesktop, kKeyboard, RIDEV_REMOVE, nullptr};
            RegisterRawInputDevices(&keyboard, 1, sizeof(keyboard));
        }
    }
    KeyboardAnywhere(const KeyboardAnywhere&) = delete;
    KeyboardAnywhere& operator=(const KeyboardAnywhere&) = delete;

  private:
    // The keyboard's HID usage page and usage.
    static constexpr USHORT kGenericDesktop = 0x01;
    static constexpr USHORT kKeyboard = 0x06;

    bool m_registered = false;
};

}  // namespace

bool MsgWaitForInput(std::chrono::milliseconds timeout) {
    const auto count = std::clamp<std::chrono::milliseconds::rep>(timeout.count(), 0, INFINITE - 1);
    const KeyboardAnywhere keyboard;
    const DWORD woken = MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(count),
                                                    QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return woken == WAIT_OBJECT_0;
}

bool InSendMessage() {
    return ::InSendMessage() != 0;
}

// ---- keys -----------------------------------------------------------------------------------

namespace {

// A key message for a key whose state the caller keeps itself: posted to the focus window (or
// the active one) of the calling thread, without going through the system's key state.
void post_key_message(int virtual_key, bool down) {
    ::HWND target = ::GetFocus();
    if (target == nullptr) {
        target = ::GetActiveWindow();
    }
    if (target == nullptr) {
        return;
    }
    const bool alt = (::GetAsyncKeyState(VK_MENU) & 0x8000) != 0;
    const bool ctrl = (::GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
    const bool system = (alt && !ctrl) || virtual_key == VK_F10 || virtual_key == VK_MENU;
    LPARAM lparam = (down ? 1 : static_cast<LPARAM>(0xC0000001u)) | (alt ? (KF_ALTDOWN << 16) : 0);
    UINT message = down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP);
    ::PostMessageW(target, message, static_cast<WPARAM>(virtual_key), lparam);
}

void send_key_input(int virtual_key, DWORD flags) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = static_cast<WORD>(virtual_key);
    input.ki.dwFlags = flags;
    ::SendInput(1, &input, sizeof(input));
}

}  // namespace

// The system makes the character from the key itself, so `character` is not needed here.
void InjectKeyDown(int virtual_key, std::uint32_t, KeyStateChange change) {
    if (change == KeyStateChange::Leave) {
        post_key_message(virtual_key, true);
        return;
    }
    send_key_input(virtual_key, 0);
}

void InjectKeyUp(int virtual_key, KeyStateChange change) {
    if (change == KeyStateChange::Leave) {
        post_key_message(virtual_key, false);
        return;
    }
    send_key_input(virtual_key, KEYEVENTF_KEYUP);
}

void InjectMouse(HWND hwnd, UINT msg, int x, int y, WPARAM keys) {
    PostMessageW(NativeHandle(hwnd), msg, keys, MAKELPARAM(x, y));
}

// The system's key state is the whole desktop's. While a window of this thread is on the
// screen, a key held while another thread's window has the keyboard (another program's: the
// program's windows are all its interface thread's) is not pressed for this program, so Escape
// typed there does not stop serving when a command comes. With none on the screen the operator
// has nowhere else to press it, and it counts.
short GetAsyncKeyState(int virtual_key) {
    const short state = ::GetAsyncKeyState(virtual_key);
    if ((state & 0x8000) == 0) {
        return state;
    }
    const ::HWND foreground = GetForegroundWindow();
    const bool keyboard_here =
        foreground != nullptr &&
        GetWindowThreadProcessId(foreground, nullptr) == GetCurrentThreadId();
    return keyboard_here || !window_on_screen() ? state : 0;
}

short GetKeyState(int virtual_key) {
    return ::GetKeyState(virtual_key);
}

void Sleep(unsigned milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace platform
