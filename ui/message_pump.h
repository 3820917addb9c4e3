#pragma once
// The message pump, key polling and pauses that a long-running loop on the interface thread
// uses to stay alive.
//
// SYSREFRESH() handles every waiting window message and returns at once: each message is first
// offered to the registered modeless dialogs (the one that last accepted a message first, then
// every slot up to the highest in use), then to the accelerator table (taken out of the window
// layer's state for the pump's duration) for the main window, and otherwise translated and
// dispatched. Messages that other threads send are delivered inside it. It stops at a quit
// message, which it removes without handling (messages behind it stay queued); while the
// main-loop flag is on it posts a new quit message so that the enclosing loop ends too.
// Returns false when it stopped at a quit message, true otherwise. Never fails.
//
// GETASYNCKEY(n) / GETASYNCKEYSTATE(n): true while the key with virtual-key code n is down at the
// moment of the call; a press and release between two calls is not seen.
//
// SLEEP(ms): suspends the calling thread; handles no window message meanwhile.

#include <chrono>

namespace kadro {

bool SYSREFRESH();
bool GETASYNCKEY(int nKey);
bool GETASYNCKEYSTATE(int nKey);
void SLEEP(int nMilliseconds);

// Waits until a window message or a cross-thread send arrives for the interface thread, or the
// time-out passes, without handling anything. Lets a polling loop rest between polls.
void WaitForMessage(std::chrono::milliseconds timeout);

}  // namespace kadro
