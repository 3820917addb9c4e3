#pragma once
// Private to the POSIX backend: the SerialOpenFailure (platform/serial_open_failure.h) of a
// serial device that would not open.
//
// OpenFailure(path, error_number): `path` is the device path the port name became, the errno is
// the failed step's. The device is named with its links followed when it exists; a permission
// failure names the group that owns it. Looks at the file's metadata only; never fails.

#include <string>

#include "platform/serial_open_failure.h"

namespace platform::detail {

SerialOpenFailure OpenFailure(const std::string& path, int error_number);

}  // namespace platform::detail
