#pragma once
// The message queue of the interface thread: posting, sending (also across threads),
// retrieval, translation and dispatch, the quit message, and a wait for input.
//
// Each thread that owns windows has one queue. Retrieval on a thread first delivers the messages
// that other threads have sent to its windows (calling their procedures in order of sending),
// then takes posted messages in order, and only when none is posted produces WM_PAINT for a
// visible window that needs painting.
//
// A message sent from another thread is queued; the sender blocks until the owning thread has run
// the procedure inside one of its retrieval calls (PeekMessage, GetMessage, a modal loop),
// never outside one. A SendGate lets the receiving side withdraw such a send for good: the
// blocked sender returns at once, and later sends through the gate return without sending.

#include <chrono>
#include <memory>

#include "platform/types.h"

namespace platform {

bool PostMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
// Posts WM_QUIT (wParam = exit code) to the calling thread's queue, behind what is already there.
void PostQuitMessage(int exit_code);

// Same thread: calls the procedure directly. Other thread: see the file comment. Returns the
// procedure's answer; 0 when the window does not exist.
LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// A channel for cross-thread sends that the receiver can close.
class SendGate {
  public:
    SendGate();
    ~SendGate();
    SendGate(const SendGate&) = delete;
    SendGate& operator=(const SendGate&) = delete;

    // Like SendMessage; returns nullopt-like false in *delivered when the gate was closed before
    // the procedure ran (the message is then never delivered).
    LRESULT send(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, bool* delivered = nullptr);
    // Withdraws a pending send through this gate and refuses every later one. Safe from any
    // thread; after it returns no procedure runs for a message sent through this gate.
    void close();
    bool closed() const;

    struct State;

  private:
    std::shared_ptr<State> m_state;
};

// Takes the next message for the calling thread without waiting (see the file comment for the
// order). hwnd_filter 0 takes messages for any window. Returns false when there is none; only
// then may the display draw changes that have waited too long (PaintTime::Busy).
bool PeekMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter, UINT remove);
// Waits for the next message; false when it is WM_QUIT (which is removed).
bool GetMessage(MSG* msg, HWND hwnd_filter, UINT min_filter, UINT max_filter);
// Posts WM_CHAR (WM_SYSCHAR for a system key) for a key-down message that carries a character,
// so that it is retrieved next. True when it did.
bool TranslateMessage(const MSG* msg);
// Calls the window procedure of the message's window; 0 when there is no window.
LRESULT DispatchMessage(const MSG* msg);

// Waits until a message is posted to the calling thread, a message is sent to it from another
// thread, a window of it needs painting, a key's state changes, or the time-out passes. True
// when something arrived. Before it sleeps, the display draws what has changed.
// Keys typed into another program do not end it while a window of the program is on the
// screen. While none is, the operator has nowhere else to type, so Escape pressed into
// whichever program has the keyboard ends it too (on some systems other keys pressed there do
// as well: the caller polls the key state and waits again).
bool MsgWaitForInput(std::chrono::milliseconds timeout);

// Whether the calling thread is inside a retrieval call delivering a cross-thread send.
bool InSendMessage();

// Input injection, used by displays and tests. The key state changes at once (unless the caller
// keeps it itself: KeyStateChange::Leave); the key message goes to the focus window (or the
// active window when nothing has the focus) of the calling thread. A key-down with Alt held (or
// F10) becomes WM_SYSKEYDOWN. `character` is what the key produces (0 for none);
// TranslateMessage turns it into WM_CHAR / WM_SYSCHAR.
enum class KeyStateChange { Apply, Leave };
void InjectKeyDown(int virtual_key, std::uint32_t character = 0,
                   KeyStateChange change = KeyStateChange::Apply);
void InjectKeyUp(int virtual_key, KeyStateChange change = KeyStateChange::Apply);
// Posts a mouse message to hwnd with client coordinates.
void InjectMouse(HWND hwnd, UINT msg, int x, int y, WPARAM keys);

// The async key state: bit 0x8000 set while the key is down now. A key held in another program
// while a window of the program is on the screen reads as up.
short GetAsyncKeyState(int virtual_key);
// The key state as of the message being handled; same source here.
short GetKeyState(int virtual_key);

// Suspends the calling thread; handles no message. On the interface thread the display uses the
// pause to draw what has changed (drawing handles no message either); the pause never ends
// before `milliseconds` have passed.
void Sleep(unsigned milliseconds);

}  // namespace platform
