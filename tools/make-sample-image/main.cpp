// make-sample-image: writes the sample disk image of the demo, a two-sided 720 KB image of
// 160 blocks of 4608 bytes (80 tracks × 2 sides, 18 sectors of 256 bytes), made up here.
//
// Every sector starts with a readable label naming its side, track and sector, followed by
// bytes from a generator seeded by the sector's place, so that a misplaced, shifted or
// repeated sector shows in a comparison and in a hex dump. The output is the same on every
// run and every machine. The file never ends in 0x1A, which a reader would drop as an
// end-of-file mark.
//
// With --sending-order FILE it also writes the bytes in the order the program serves them:
// blocks 0, 2, ..., 158, then 1, 3, ..., 159 (a two-sided image stored track by track is sent
// side by side). This is written here on its own, not borrowed from the program, so that a
// comparison with it checks the program's rearrangement too.
//
// Exit status: 0 written, 1 write failure, 2 usage.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "app/protocol.h"

namespace {

constexpr std::size_t kSectorSize = kadro::protocol::kSectorBytes;
constexpr std::size_t kSectorsPerBlock = kadro::protocol::kSectorsPerTrack;
constexpr std::size_t kBlockSize = kadro::protocol::kTrackBytes;  // 4608
constexpr std::size_t kBlocks = kadro::protocol::kMostTracks;
constexpr std::size_t kImageSize = kBlockSize * kBlocks;  // 737280

constexpr const char* kUsage =
    "usage: make-sample-image OUT.vks [--sending-order FILE]\n"
    "Writes the 737280-byte sample image of the demo (and, with --sending-order, the same\n"
    "bytes in the order the program sends them).\n";

std::string make_image() {
    std::string image(kImageSize, '\0');
    for (std::size_t block = 0; block < kBlocks; ++block) {
        const std::size_t side = block % 2;
        const std::size_t track = block / 2;
        for (std::size_t sector = 0; sector < kSectorsPerBlock; ++sector) {
            char* data = image.data() + block * kBlockSize + sector * kSectorSize;
            char label[48];
            int n =
                std::snprintf(label, sizeof label, "KADRO SAMPLE SIDE %zu TRACK %02zu SECTOR %02zu",
                              side, track, sector + 1);
            std::memcpy(data, label, static_cast<std::size_t>(n));
            // xorshift32, seeded by the sector's place (never 0).
            std::uint32_t x =
                static_cast<std::uint32_t>(block * kSectorsPerBlock + sector + 1) * 2654435761u;
            for (std::size_t i = static_cast<std::size_t>(n); i < kSectorSize - 2; ++i) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                data[i] = static_cast<char>(x >> 24);
            }
            // A fixed mark at the end of every sector; it also keeps 0x1A off the last byte.
            data[kSectorSize - 2] = static_cast<char>(0x55);
            data[kSectorSize - 1] = static_cast<char>(0xAA);
        }
    }
    return image;
}

std::string sending_order(const std::string& image) {
    std::string out;
    out.reserve(image.size());
    for (std::size_t first : {std::size_t{0}, std::size_t{1}}) {
        for (std::size_t block = first; block < kBlocks; block += 2) {
            out.append(image, block * kBlockSize, kBlockSize);
        }
    }
    return out;
}

bool write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make-sample-image: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::string out_path;
    std::string order_path;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--sending-order" && i + 1 < argc) {
            order_path = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && out_path.empty()) {
            out_path = std::string(arg);
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if (out_path.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string image = make_image();
    if (!write_file(out_path, image)) {
        return 1;
    }
    if (!order_path.empty() && !write_file(order_path, sending_order(image))) {
        return 1;
    }
    return 0;
}
