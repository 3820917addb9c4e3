#pragma once
// The serial ports this computer has, found without opening any of them.
//
// Contract:
// - ListSerialPorts() reads only what the system publishes about its devices: on Linux the
//   kernel's device tree (/sys/class/tty/*/device and the attributes beside it) and the stable
//   names udev keeps in /dev/serial/by-id; on Windows the device manager's list of ports and the
//   registry's HARDWARE\DEVICEMAP\SERIALCOMM. No device is opened, so a port in use, a console
//   on a serial line or a modem is never disturbed by a listing.
// - Linux leaves out the legacy UARTs for which the kernel found no hardware (serial core type
//   "unknown"): such a name opens but can never carry a byte.
// - Each port once, ordered by its device name (numbers in a name counted as numbers: ttyS2
//   before ttyS10). No port is not a failure: the list is empty. Never throws except
//   std::bad_alloc; a device whose description cannot be read is listed with what can be read.
// - Texts are UTF-8, as the system gives them (the program's code page is not involved).
//
// SerialPortListText(ports) is what `--list-ports` prints: one line per port, the name to write
// after "Porta=" first, two blanks, then the description; "No serial ports found." as the only
// line when the list is empty. Every line ends in a line feed.

#include <string>
#include <vector>

namespace platform {

struct SerialPortEntry {
    // What to write after "Porta=": on Linux the /dev/serial/by-id/... name of a USB adapter
    // (it stays the same when the adapter moves to another socket), else the device node
    // (/dev/ttyS0); on Windows the port's name (COM3).
    std::string name;
    // The device the name leads to: /dev/ttyUSB0; on Windows the name (COM3).
    std::string device;
    // A short name of the hardware for a person ("FTDI FT232R USB UART", "USB Serial Port");
    // empty when the system gives none beyond the driver.
    std::string label;
    // Everything known that tells this port from others, on one line: the other names, the
    // maker, product and serial number of a USB adapter and its vendor:product numbers, the bus,
    // the driver.
    std::string description;
};

std::vector<SerialPortEntry> ListSerialPorts();

std::string SerialPortListText(const std::vector<SerialPortEntry>& ports);

}  // namespace platform
