#include "platform/serial_port_list.h"

#include "platform/posix/kernel_device_tree.h"

namespace platform {

std::vector<SerialPortEntry> ListSerialPorts() {
    return detail::ListKernelSerialPorts("/");
}

}  // namespace platform
