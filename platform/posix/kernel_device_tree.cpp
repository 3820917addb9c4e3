#include "platform/posix/kernel_device_tree.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <system_error>

#include "platform/serial_device.h"
#include "platform/serial_port_order_internal.h"

namespace platform::detail {
namespace {

namespace fs = std::filesystem;

// The first line of an attribute file without its line end; empty when there is none.
std::string attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())) != 0) {
        line.pop_back();
    }
    return line;
}

// The last part of where a link points: the driver or subsystem a device's link names.
std::string link_target_name(const fs::path& link) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(link, ec);
    return ec ? std::string() : target.filename().string();
}

bool is_within(const fs::path& path, const fs::path& folder) {
    const auto [end, unused] =
        std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return end == folder.end();
}

// The device that carries a tty: since Linux 6.5 the serial core puts a controller and a port
// device of its own ("serial-base") between the tty and the hardware, which tell nothing.
fs::path hardware_device(fs::path device, const fs::path& devices) {
    while (link_target_name(device / "subsystem") == "serial-base" && device != devices &&
           is_within(device.parent_path(), devices)) {
        device = device.parent_path();
    }
    return device;
}

// The USB device (the one with vendor and product numbers) above `device`, if any.
std::optional<fs::path> usb_device_above(fs::path device, const fs::path& devices) {
    for (; device != devices && is_within(device, devices); device = device.parent_path()) {
        std::error_code ec;
        if (fs::exists(device / "idVendor", ec)) {
            return device;
        }
    }
    return std::nullopt;
}

// /dev/<name> of each device node that a /dev/serial/by-id link points at, to that link.
std::map<std::string, std::string> stable_names(const fs::path& root) {
    std::map<std::string, std::string> names;
    const fs::path folder = root / "dev/serial/by-id";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        fs::path target = fs::read_symlink(it->path(), ec);
        if (ec) {
            ec.clear();
            continue;
        }
        target = target.is_absolute() ? root / target.relative_path() : folder / target;
        const fs::path node = target.lexically_normal().lexically_relative(root);
        const std::string link = "/dev/serial/by-id/" + it->path().filename().string();
        // Several links to one device (rare) give the first in name order, every time.
        auto [at, added] = names.emplace("/" + node.string(), link);
        if (!added && link < at->second) {
            at->second = link;
        }
    }
    return names;
}

// "COM1" for /dev/ttyS0: the name the settings file may use for it.
std::string com_alias(const std::string& node) {
    for (unsigned number = 1; number <= 256; ++number) {
        if (SerialDevicePath("COM" + std::to_string(number)) == node) {
            return "COM" + std::to_string(number);
        }
    }
    return {};
}

void add_part(std::string& text, const std::string& part) {
    if (!part.empty()) {
        text += (text.empty() ? "" : ", ") + part;
    }
}

SerialPortEntry describe(const fs::path& root, const fs::path& tty,
                         const std::map<std::string, std::string>& by_id) {
    const fs::path devices = root / "sys/devices";
    SerialPortEntry entry;
    entry.device = "/dev/" + tty.filename().string();
    const auto link = by_id.find(entry.device);
    entry.name = link != by_id.end() ? link->second : entry.device;
    std::string& text = entry.description;
    add_part(text, entry.name != entry.device ? entry.device : "");
    add_part(text, com_alias(entry.device));

    std::error_code ec;
    const fs::path behind = fs::canonical(tty / "device", ec);
    if (ec) {
        return entry;  // gone while listing: its name is all there is
    }
    const fs::path device = hardware_device(behind, devices);
    if (const auto usb = usb_device_above(device, devices)) {
        const std::string maker = attribute(*usb / "manufacturer");
        const std::string product = attribute(*usb / "product");
        entry.label = product.starts_with(maker) ? product
                      : product.empty()          ? maker
                                                 : maker + " " + product;
        const std::string serial = attribute(*usb / "serial");
        add_part(text, entry.label);
        add_part(text, serial.empty() ? "" : "serial number " + serial);
        add_part(text, "USB " + attribute(*usb / "idVendor") + ":" + attribute(*usb / "idProduct"));
    } else if (const std::string bus = link_target_name(device / "subsystem"); !bus.empty()) {
        add_part(text, bus + " " + device.filename().string());
    }
    const std::string driver = link_target_name(device / "driver");
    add_part(text, driver.empty() ? "" : "driver " + driver);
    return entry;
}

bool reports_no_hardware(const fs::path& attributes) {
    return attribute(attributes / "type") == "0";
}

}  // namespace

std::vector<SerialPortEntry> ListKernelSerialPorts(const fs::path& root) {
    const auto by_id = stable_names(root);
    std::vector<SerialPortEntry> ports;
    std::error_code ec;
    for (fs::directory_iterator it(root / "sys/class/tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path tty = it->path();
        std::error_code missing;
        if (!fs::exists(tty / "device", missing) || reports_no_hardware(tty)) {
            continue;  // a virtual terminal or pseudo-terminal, or a UART that is not there
        }
        ports.push_back(describe(root, tty, by_id));
    }
    SortSerialPorts(ports);
    return ports;
}

bool IsSerialPortWithoutHardware(const fs::path& root, unsigned major, unsigned minor) {
    return reports_no_hardware(root / "sys/dev/char" /
                               (std::to_string(major) + ":" + std::to_string(minor)));
}

}  // namespace platform::detail
