#pragma once
// Why a serial device would not open: what SerialDevice::open gives instead of a device, so that
// the program can tell the operator what to do about it.
//
// Contract:
// - `problem` sorts the system's answer into what the operator can act on; each system's backend
//   decides it from its own error codes:
//     kMissing       no such device: the name leads nowhere, or the adapter is unplugged;
//     kInUse         the device is there but another program (or another KADRO) holds it;
//     kNoPermission  the device is there but this user may not open it;
//     kNoHardware    the system keeps the name, but no serial hardware answers behind it (a
//                    legacy port the kernel reserved without finding a UART);
//     kNotSerial     the name leads to something that is not a serial device;
//     kOther         anything else; `error` and SystemErrorText(error) say what.
// - `error` is the system's own code: an errno on POSIX, a GetLastError code on Windows.
// - `device` is the device that was tried, as the system names it after the port name was mapped
//   and symbolic links were followed (/dev/ttyUSB0 for a /dev/serial/by-id/... name); the mapped
//   name itself when it leads nowhere. UTF-8.
// - `group` names the group that owns the device when `problem` is kNoPermission and the system
//   has groups for devices (POSIX); empty otherwise, or when the group has no name.
// - `text` is the system's own text for the failure where `error` alone does not give it (a
//   TCP line's name that does not resolve); empty otherwise.

#include <cstdint>
#include <string>

namespace platform {

enum class SerialOpenProblem { kMissing, kInUse, kNoPermission, kNoHardware, kNotSerial, kOther };

struct SerialOpenFailure {
    SerialOpenProblem problem = SerialOpenProblem::kOther;
    std::uint32_t error = 0;
    std::string device;
    std::string group;
    std::string text;
};

}  // namespace platform
