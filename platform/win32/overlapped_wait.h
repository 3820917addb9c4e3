#pragma once
// Private to win32/: the waits of a line (serial device, TCP connection) for its overlapped
// transfers, its cancel event and its interrupt event. Include after <windows.h>.
//
// WaitEventOrCancel(event, cancel, milliseconds, interrupt): waits for `event`, `cancel` or
// `interrupt` (each but cancel may be null: not waited for) at most `milliseconds` (INFINITE: no
// limit) and says which came, cancel before interrupt before event when several did, or that
// the time passed or the wait failed (GetLastError says why). An auto-reset interrupt event is
// reset by the wait that it ends.
// MillisecondsUntil(deadline): the time left, 0 once passed, never INFINITE.
// ScopedEvent: a manual-reset event owned for the length of one call; get() is null when the
// system could not make one (GetLastError says why).

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <utility>

namespace platform {

enum class Woken { kEvent, kCancelled, kInterrupted, kTimeOut, kFailed };

inline Woken WaitEventOrCancel(HANDLE event, HANDLE cancel, DWORD milliseconds,
                               HANDLE interrupt = nullptr) {
    std::array<HANDLE, 3> handles{};
    std::array<Woken, 3> meanings{};
    DWORD count = 0;
    for (auto [handle, meaning] :
         {std::pair{cancel, Woken::kCancelled}, std::pair{interrupt, Woken::kInterrupted},
          std::pair{event, Woken::kEvent}}) {
        if (handle != nullptr) {
            handles[count] = handle;
            meanings[count++] = meaning;
        }
    }
    const DWORD woken = ::WaitForMultipleObjects(count, handles.data(), FALSE, milliseconds);
    if (woken >= WAIT_OBJECT_0 && woken < WAIT_OBJECT_0 + count) {
        return meanings[woken - WAIT_OBJECT_0];
    }
    return woken == WAIT_TIMEOUT ? Woken::kTimeOut : Woken::kFailed;
}

inline DWORD MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<DWORD>(std::clamp<std::int64_t>(left.count(), 0, INFINITE - 1));
}

class ScopedEvent {
  public:
    ScopedEvent() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~ScopedEvent() {
        if (m_event != nullptr) {
            ::CloseHandle(m_event);
        }
    }
    ScopedEvent(const ScopedEvent&) = delete;
    ScopedEvent& operator=(const ScopedEvent&) = delete;
    HANDLE get() const { return m_event; }

  private:
    HANDLE m_event;
};

}  // namespace platform
