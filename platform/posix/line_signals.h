#pragma once
// Private to posix/: what cancel() and interrupt() of a line (platform/line.h) raise, two
// eventfds used with the calls of posix/cancel_signal.h. A line's waits poll both; cancel_fd
// stays raised until the line clears it (ClearCancel), and the wait it ends takes interrupt_fd
// (TakeInterrupt). The signals close both when destroyed.

#include "platform/line.h"

namespace platform {

struct Line::CancelSignals {
    int cancel_fd = -1;
    int interrupt_fd = -1;

    CancelSignals() = default;
    CancelSignals(const CancelSignals&) = delete;
    CancelSignals& operator=(const CancelSignals&) = delete;
    ~CancelSignals();
};

}  // namespace platform
