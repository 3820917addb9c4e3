#pragma once
// Why a port would not open, kept for the caller of OPENCOMM, which only gets -1: the way the
// desktop keeps a failed call's reason for GetLastError.
//
// GetCommOpenFailure(): the reason the last OPENCOMM of this thread failed: the device's own
// (platform/serial_open_failure.h), or kOther with the system's code when the port's reader
// thread could not be started. nullopt when that OPENCOMM succeeded, and before any.
// SetCommOpenFailure is OPENCOMM's side of it. Each thread has its own; neither fails.

#include <optional>

#include "platform/serial_open_failure.h"

namespace kadro {

std::optional<platform::SerialOpenFailure> GetCommOpenFailure();
void SetCommOpenFailure(std::optional<platform::SerialOpenFailure> failure);

}  // namespace kadro
