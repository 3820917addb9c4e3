#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/serial_port_list.h"
#include "platform/serial_port_order_internal.h"
#include "platform/text.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>
// setupapi.h needs what windows.h defines.
#include <setupapi.h>

namespace platform {
namespace {

// The device class "Ports (COM & LPT)" of the device manager.
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

std::string to_utf8(std::wstring_view text) {
    return Utf16ToUtf8(AsUtf16(text));
}

// A string value of an open registry key; empty when there is none.
std::wstring string_value(HKEY key, const wchar_t* name) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);  // room for the terminator the value may lack
    DWORD type = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return buffer;
}

bool is_com_port(std::wstring_view name) {
    return name.size() > 3 && ::CompareStringOrdinal(name.data(), 3, L"COM", 3, TRUE) == CSTR_EQUAL;
}

struct Port {
    std::wstring friendly;  // the device manager's name, "USB Serial Port (COM3)"
    std::wstring kernel;    // the system's device behind it, "\Device\VCP0"
};

// Every COM port the system has mapped: the names the serial drivers registered, each with its
// device object. Ports of drivers outside the device manager's class appear only here.
void add_mapped_ports(std::map<std::wstring, Port>& ports) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ,
                        &key) != ERROR_SUCCESS) {
        return;
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        wchar_t data[256] = {};
        DWORD name_size = 255;
        DWORD data_size = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key, index, name, &name_size, nullptr, &type,
                                               reinterpret_cast<BYTE*>(data), &data_size);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status == ERROR_SUCCESS && type == REG_SZ && is_com_port(data)) {
            ports[data].kernel = name;
        }
    }
    ::RegCloseKey(key);
}

// The present devices of the class "Ports (COM & LPT)", with the names Device Manager shows.
void add_device_manager_ports(std::map<std::wstring, Port>& ports) {
    HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) {
        return;
    }
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device) != 0; ++index) {
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) {
            continue;
        }
        const std::wstring name = string_value(key, L"PortName");
        ::RegCloseKey(key);
        if (!is_com_port(name)) {
            continue;  // a printer port of the same class
        }
        wchar_t friendly[512] = {};
        if (::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                reinterpret_cast<BYTE*>(friendly),
                                                sizeof friendly - sizeof(wchar_t), nullptr) == 0) {
            ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_DEVICEDESC, nullptr,
                                                reinterpret_cast<BYTE*>(friendly),
                                                sizeof friendly - sizeof(wchar_t), nullptr);
        }
        ports[name].friendly = friendly;
    }
    ::SetupDiDestroyDeviceInfoList(set);
}

// "USB Serial Port" of "USB Serial Port (COM3)".
std::wstring without_port_suffix(std::wstring friendly, const std::wstring& name) {
    const std::wstring suffix = L" (" + name + L")";
    if (friendly.size() > suffix.size() &&
        friendly.compare(friendly.size() - suffix.size(), suffix.size(), suffix) == 0) {
        friendly.resize(friendly.size() - suffix.size());
    }
    return friendly;
}

}  // namespace

std::vector<SerialPortEntry> ListSerialPorts() {
    std::map<std::wstring, Port> found;
    add_mapped_ports(found);
    add_device_manager_ports(found);
    std::vector<SerialPortEntry> ports;
    for (const auto& [name, port] : found) {
        SerialPortEntry entry;
        entry.name = to_utf8(name);
        entry.device = entry.name;
        entry.label = to_utf8(without_port_suffix(port.friendly, name));
        entry.description = to_utf8(port.friendly);
        if (!port.kernel.empty()) {
            entry.description += (entry.description.empty() ? "" : ", ") + to_utf8(port.kernel);
        }
        ports.push_back(std::move(entry));
    }
    SortSerialPorts(ports);
    return ports;
}

}  // namespace platform
