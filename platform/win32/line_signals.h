#pragma once
// Private to win32/: what cancel() and interrupt() of a line (platform/line.h) raise, two events
// its waits watch (win32/overlapped_wait.h). cancel_event resets by hand: once set, every wait
// ends at once until the line resets it. interrupt_event resets itself: it ends one wait. The
// signals close both when destroyed. Include after <windows.h>.

#include "platform/line.h"

namespace platform {

struct Line::CancelSignals {
    HANDLE cancel_event = nullptr;
    HANDLE interrupt_event = nullptr;

    CancelSignals() = default;
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;
    ~CancelSignals();
};

}  // namespace platform
