#pragma once
// Private to platform/ (both system backends use it): the order of platform/serial_port_list.h.
//
// SortSerialPorts(ports): ordered by `device`, runs of digits compared as numbers (ttyS2 before
// ttyS10, COM9 before COM10), other characters byte by byte. Never fails.

#include <vector>

#include "platform/serial_port_list.h"

namespace platform {

void SortSerialPorts(std::vector<SerialPortEntry>& ports);

}  // namespace platform
