// Port discovery on Linux, pointed at a device tree laid out as sysfs and udev lay out theirs.

#include "platform/posix/kernel_device_tree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "testing/scratch_folder.h"

namespace kadro::test {
namespace {

namespace fs = std::filesystem;
using platform::detail::ListKernelSerialPorts;
using Port = std::tuple<std::string, std::string, std::string, std::string>;

// A USB adapter with its by-id link; a platform 16550 (ttyS2, also as ttyS10) and a legacy UART
// without hardware (type 0) behind the "serial-base" devices of kernels since 6.5; a virtual
// terminal. "path=value" is an attribute file, "path>target" a link.
void make_device_tree(const fs::path& root) {
    const std::string usb = "sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/";
    const std::string adapter = usb + "1-2:1.0/ttyUSB0/";
    const std::string uart = "sys/devices/platform/serial8250/";
    const std::string port = uart + "serial8250:0/serial8250:0.0/";
    const std::string none = uart + "serial8250:0/serial8250:0.1/";
    for (const std::string& line : std::vector<std::string>{
             usb + "idVendor=0403",
             usb + "idProduct=6001",
             usb + "manufacturer=FTDI",
             usb + "product=FT232R USB UART",
             usb + "serial=A12345",
             adapter + "subsystem>sys/bus/usb-serial",
             adapter + "driver>sys/bus/usb-serial/drivers/ftdi_sio",
             adapter + "tty/ttyUSB0/device>" + adapter,
             "sys/class/tty/ttyUSB0>" + adapter + "tty/ttyUSB0",
             "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0>dev/ttyUSB0",
             uart + "subsystem>sys/bus/platform",
             uart + "driver>sys/bus/platform/drivers/serial8250",
             uart + "serial8250:0/subsystem>sys/bus/serial-base",
             port + "subsystem>sys/bus/serial-base",
             port + "tty/ttyS2/type=4",
             port + "tty/ttyS2/device>" + port,
             "sys/class/tty/ttyS2>" + port + "tty/ttyS2",
             "sys/class/tty/ttyS10>" + port + "tty/ttyS2",
             none + "subsystem>sys/bus/serial-base",
             none + "tty/ttyS1/type=0",
             none + "tty/ttyS1/device>" + none,
             "sys/class/tty/ttyS1>" + none + "tty/ttyS1",
             "sys/devices/virtual/tty/tty1/dev=4:1",
             "sys/class/tty/tty1>sys/devices/virtual/tty/tty1"}) {
        const std::size_t arrow = line.find('>');
        const fs::path at = line.substr(0, std::min(arrow, line.find('=')));
        fs::create_directories((root / at).parent_path());
        if (arrow == std::string::npos) {
            std::ofstream(root / at) << line.substr(at.string().size() + 1) << '\n';
        } else {
            const fs::path target = line.substr(arrow + 1);
            fs::create_symlink(target.lexically_relative(at.parent_path()), root / at);
        }
    }
}

class KernelDeviceTree : public ScratchFolder {};

TEST_F(KernelDeviceTree, ListsThePortsWithHardwareInNumberOrderAUsbAdapterByItsStableName) {
    make_device_tree(m_dir);
    const std::vector<Port> expected = {
        {"/dev/ttyS2", "/dev/ttyS2", "", "COM3, platform serial8250, driver serial8250"},
        {"/dev/ttyS10", "/dev/ttyS10", "", "COM11, platform serial8250, driver serial8250"},
        {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0", "/dev/ttyUSB0",
         "FTDI FT232R USB UART",
         "/dev/ttyUSB0, FTDI FT232R USB UART, serial number A12345, USB 0403:6001, driver "
         "ftdi_sio"}};
    std::vector<Port> found;
    for (const auto& port : ListKernelSerialPorts(m_dir)) {
        found.emplace_back(port.name, port.device, port.label, port.description);
    }
    EXPECT_EQ(found, expected);
}

}  // namespace
}  // namespace kadro::test
