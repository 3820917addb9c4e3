#pragma once
// Private to the Windows backend: the SerialOpenFailure (platform/serial_open_failure.h) of a
// serial device that would not open.
//
// OpenFailure(path, code): `path` is the device path the port name became ("\\.\COM3"), `code`
// the failed step's GetLastError. A port another program holds answers access denied, and a
// user may open every port, so access denied means in use. Never fails.

#include <cstdint>
#include <string>

#include "platform/serial_open_failure.h"

namespace platform::detail {

SerialOpenFailure OpenFailure(const std::string& path, std::uint32_t code);

}  // namespace platform::detail
