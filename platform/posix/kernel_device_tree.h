#pragma once
// What the Linux kernel publishes about serial devices, read from a device tree under `root`:
// "/" for the system's own (sysfs at /sys, udev's links under /dev), a folder laid out the same
// way for a test. Only attribute files and symbolic links are read; no device is opened.
//
// - ListKernelSerialPorts(root): the ports of platform/serial_port_list.h. A port is a
//   /sys/class/tty entry with a "device" link; one whose serial-core "type" is 0 (unknown: a
//   legacy UART with no hardware behind it) is left out. The device node is /dev/ + the entry's
//   name, as udev names every tty. A USB adapter is named by its
//   /dev/serial/by-id link when there is one, and described by the idVendor, idProduct,
//   manufacturer, product and serial attributes of its USB device; every port by its bus, the
//   device on it and its driver, looked up past the serial core's own "serial-base" devices.
//   Unreadable attributes are left out of the description.
// - IsSerialPortWithoutHardware(root, major, minor): true when the character device
//   major:minor is such a legacy UART (/sys/dev/char/major:minor/type reads 0); false for every
//   other device, and when the tree says nothing about it.
//
// Neither throws except std::bad_alloc.

#include <filesystem>
#include <vector>

#include "platform/serial_port_list.h"

namespace platform::detail {

std::vector<SerialPortEntry> ListKernelSerialPorts(const std::filesystem::path& root);

bool IsSerialPortWithoutHardware(const std::filesystem::path& root, unsigned major, unsigned minor);

}  // namespace platform::detail
