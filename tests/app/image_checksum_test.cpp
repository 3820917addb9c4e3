// The whole file's CRC-32 that ReadTrackImage gives the trace: every byte counts, the end mark it
// leaves out of the image and the part beyond the served 737280 bytes included.

#include <string>

#include "app/crc32.h"
#include "app/image_preparation.h"
#include "testing/scratch_folder.h"

namespace kadro::test {
namespace {

using ImageChecksum = ScratchFolder;

TEST_F(ImageChecksum, CoversTheWholeFileWhateverPartOfItIsServed) {
    for (const std::size_t size : {0u, 1u, 184321u, 737280u, 737281u, 1474560u + 77u}) {
        for (const bool end_mark : {false, true}) {
            std::string data(size, '\0');
            for (std::size_t i = 0; i < size; ++i) {
                data[i] = static_cast<char>(i * 31 + i / 4096);
            }
            if (size > 0) {
                data.back() = end_mark ? '\x1A' : '\x1B';
            }
            spit("image.vks", data);
            const TrackImageRead read = ReadTrackImage("image.vks", FileChecksum::kWhole);
            EXPECT_EQ(read.file_bytes, size);
            EXPECT_EQ(read.file_crc32, Crc32(data)) << size << (end_mark ? " with end mark" : "");
            EXPECT_EQ(read.TrackImage, ReadTrackImage("image.vks").TrackImage);
            EXPECT_FALSE(ReadTrackImage("image.vks").file_crc32.has_value());
        }
    }
    EXPECT_FALSE(ReadTrackImage("missing.vks", FileChecksum::kWhole).file_crc32.has_value());
}

}  // namespace
}  // namespace kadro::test
