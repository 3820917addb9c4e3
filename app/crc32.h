#pragma once
// CRC-32 as zlib, PNG and Ethernet compute it: the polynomial 0x04C11DB7 taken bit-reversed
// (0xEDB88320), initial value and final complement 0xFFFFFFFF. Crc32("123456789") is 0xCBF43926,
// so a figure in the trace can be checked with any common tool.
//
// Crc32(data, crc): the CRC-32 of `data`. Pass the result of an earlier call as `crc` to go on
// over the bytes that follow: Crc32(b, Crc32(a)) == Crc32(a + b); Crc32("") is 0. Pure; cannot
// fail; any thread.

#include <cstdint>
#include <string_view>

namespace kadro {

std::uint32_t Crc32(std::string_view data, std::uint32_t crc = 0);

}  // namespace kadro
