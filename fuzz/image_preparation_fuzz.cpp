// Image preparation on arbitrary data (lengths around the two-sided threshold included): the
// track image is never longer than the data or a full disk and starts with its first block.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>

#include "app/image_preparation.h"
#include "app/protocol.h"
#include "fuzz/fuzz_check.h"

namespace {

constexpr std::size_t kBlock = kadro::protocol::kTrackBytes;
constexpr std::size_t kOneSide = kadro::protocol::kSingleSideTracks * kBlock;
constexpr std::size_t kFullDisk = kadro::protocol::kMostTracks * kBlock;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    // A length near the threshold or beyond a full disk, filled by repeating the input, so
    // that small inputs still reach the two-sided layout.
    const std::size_t length = input.ConsumeIntegralInRange<std::size_t>(0, kFullDisk + 3 * kBlock);
    const std::string pattern = input.ConsumeRemainingBytesAsString();
    // Filled by doubling in a buffer kept between runs: a byte-by-byte loop, or a fresh
    // 700 KB allocation each run, made the target a hundred times slower.
    static std::string raw;
    raw.assign(pattern.empty() ? std::string(1, '\0') : pattern);
    raw.reserve(kFullDisk + 3 * kBlock);
    while (raw.size() < length) {
        raw.append(raw, 0, std::min(raw.size(), length - raw.size()));
    }
    raw.resize(length);
    const std::string track_image = kadro::PrepareTrackImage(raw);
    if (raw.size() <= kOneSide) {
        FUZZ_CHECK(track_image == raw);
    } else {
        FUZZ_CHECK(track_image.size() == std::min(raw.size(), kFullDisk));
        FUZZ_CHECK(track_image.compare(0, kBlock, raw, 0, kBlock) == 0);
    }
    return 0;
}
