// The CRC-32 the trace prints must be the one every common tool computes.

#include "app/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace kadro::test {
namespace {

TEST(Crc32, GivesTheFiguresOfTheCommonToolsAndGoesOnAcrossPieces) {
    const struct {
        std::string data;
        std::uint32_t crc;
    } known[] = {
        {"", 0x00000000u},
        {"a", 0xE8B7BE43u},
        {"123456789", 0xCBF43926u},
        {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
        {std::string(32, '\0'), 0x190A55ADu},
        {std::string(32, '\xFF'), 0xFF6CAB0Bu},
    };
    for (const auto& [data, crc] : known) {
        EXPECT_EQ(Crc32(data), crc) << data;
        for (std::size_t cut = 0; cut <= data.size(); cut += 5) {
            EXPECT_EQ(Crc32(data.substr(cut), Crc32(data.substr(0, cut))), crc) << cut;
        }
    }
}

}  // namespace
}  // namespace kadro::test
