#include "platform/line.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

#include "platform/win32/line_signals.h"

namespace platform {

Line::CancelSignals::~CancelSignals() {
    for (HANDLE event : {cancel_event, interrupt_event}) {
        if (event != nullptr) {
            ::CloseHandle(event);
        }
    }
}

void Line::CancelSignalsDeleter::operator()(CancelSignals* signals) const noexcept {
    delete signals;
}

Line::CancelSignalsPointer Line::make_cancel_signals(int* error) {
    CancelSignalsPointer signals(new CancelSignals);
    signals->cancel_event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    signals->interrupt_event = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (signals->cancel_event == nullptr || signals->interrupt_event == nullptr) {
        *error = static_cast<int>(::GetLastError());
        return nullptr;
    }
    return signals;
}

bool Line::wait_for_cancel_for(int milliseconds) const {
    const DWORD limit = milliseconds < 0 ? INFINITE : static_cast<DWORD>(milliseconds);
    return ::WaitForSingleObject(m_signals->cancel_event, limit) == WAIT_OBJECT_0;
}

void Line::cancel() const {
    ::SetEvent(m_signals->cancel_event);
}

void Line::interrupt() const {
    ::SetEvent(m_signals->interrupt_event);
}

}  // namespace platform
