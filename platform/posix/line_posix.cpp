#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

#include "platform/line.h"

#include "platform/posix/cancel_signal.h"
#include "platform/posix/line_signals.h"

namespace platform {

Line::CancelSignals::~CancelSignals() {
    for (int fd : {cancel_fd, interrupt_fd}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void Line::CancelSignalsDeleter::operator()(CancelSignals* signals) const noexcept {
    delete signals;
}

Line::CancelSignalsPointer Line::make_cancel_signals(int* error) {
    CancelSignalsPointer signals(new CancelSignals);
    signals->cancel_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    signals->interrupt_fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (signals->cancel_fd < 0 || signals->interrupt_fd < 0) {
        *error = errno;
        return nullptr;
    }
    return signals;
}

bool Line::wait_for_cancel_for(int milliseconds) const {
    return WaitForCancel(m_signals->cancel_fd, milliseconds);
}

void Line::cancel() const {
    RaiseCancel(m_signals->cancel_fd);
}

void Line::interrupt() const {
    RaiseCancel(m_signals->interrupt_fd);
}

}  // namespace platform
