#pragma once
// The serial line of kadro-remote, on each platform's own calls.
//
// - OpenLine(device, mode): opens the device (named as platform/serial_device.h maps names)
//   for reading and writing and applies the mode string ("57600,N,8,1"). Returns kNoLine, with
//   the reason printed to standard error, when the device cannot be opened or set.
// - AdoptLine(fd): an already open POSIX descriptor (the far end of a pseudo-terminal). On
//   Windows there are no such descriptors: kNoLine with the reason printed.
// - WriteAll: every byte or false (reason printed). ReadSome: up to `count` bytes, giving up
//   when nothing arrives for `timeout_ms`; what arrived so far is returned.
// The line stays open until the process ends.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace remote {

using LineHandle = std::intptr_t;
constexpr LineHandle kNoLine = -1;

LineHandle OpenLine(const std::string& device, const std::string& mode);
LineHandle AdoptLine(int fd);
bool WriteAll(LineHandle line, std::string_view bytes);
std::string ReadSome(LineHandle line, std::size_t count, int timeout_ms);

}  // namespace remote
