#include "app/crc32.h"

#include <array>

namespace kadro {
namespace {

constexpr std::uint32_t kReversedPolynomial = 0xEDB88320u;

// What each byte value adds to the remainder, so the loop below takes a byte a step.
constexpr std::array<std::uint32_t, 256> kTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t value = 0; value < 256; ++value) {
        std::uint32_t remainder = value;
        for (int bit = 0; bit < 8; ++bit) {
            remainder =
                (remainder & 1u) != 0 ? (remainder >> 1) ^ kReversedPolynomial : remainder >> 1;
        }
        table[value] = remainder;
    }
    return table;
}();

}  // namespace

std::uint32_t Crc32(std::string_view data, std::uint32_t crc) {
    crc = ~crc;
    for (char c : data) {
        crc = kTable[(crc ^ static_cast<unsigned char>(c)) & 0xFFu] ^ (crc >> 8);
    }
    return ~crc;
}

}  // namespace kadro
