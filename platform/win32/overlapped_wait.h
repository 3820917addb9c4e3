#pragma once
// Private to win32/: the waits of a line (serial device, TCP connection) for its overlapped
// transfers and its cancel event. Include after <windows.h>.
//
// WaitEventOrCancel(event, cancel, milliseconds): waits for `event` or `cancel` (cancel alone
// when `event` is null) at most `milliseconds` (INFINITE: no limit) and says which came, or that
// the time passed or the wait failed (GetLastError says why).
// MillisecondsUntil(deadline): the time left, 0 once passed, never INFINITE.
// ScopedEvent: a manual-reset event owned for the length of one call; get() is null when the
// system could not make one (GetLastError says why).

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>

namespace platform {

enum class Woken { kEvent, kCancelled, kTimeOut, kFailed };

inline Woken WaitEventOrCancel(HANDLE event, HANDLE cancel, DWORD milliseconds) {
    std::array<HANDLE, 2> handles{cancel, event};
    switch (
        ::WaitForMultipleObjects(event != nullptr ? 2 : 1, handles.data(), FALSE, milliseconds)) {
        case WAIT_OBJECT_0:
            return Woken::kCancelled;
        case WAIT_OBJECT_0 + 1:
            return Woken::kEvent;
        case WAIT_TIMEOUT:
            return Woken::kTimeOut;
        default:
            return Woken::kFailed;
    }
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
