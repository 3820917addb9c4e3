#include "app/image_preparation.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "app/crc32.h"
#include "app/protocol.h"
#include "platform/file_read.h"

namespace kadro {

namespace {

constexpr std::size_t kBlockBytes = protocol::kTrackBytes;
constexpr std::size_t kBlockPairs = protocol::kMostTracks / 2;
constexpr std::size_t kSingleSideBytes = protocol::kSingleSideTracks * kBlockBytes;  // 184320
constexpr std::size_t kTrackImageBytes = 2 * kBlockPairs * kBlockBytes;              // 737280
constexpr unsigned char kEndOfFileMark = 0x1A;

constexpr std::uint64_t kChecksumPiece = 65536;

struct RawRead {
    std::string data;
    std::optional<std::string> failure;
    std::uint64_t file_bytes = 0;
    std::optional<std::uint32_t> file_crc32;
};

// The CRC-32 of the whole file, given `data`, its first bytes as read, and `mark`, the end mark
// when one was left out of them: the bytes between are read piece by piece. nullopt when a read
// fails.
std::optional<std::uint32_t> whole_file_crc32(const platform::ReadOnlyFile& file,
                                              std::string_view data, std::string_view mark) {
    std::uint32_t crc = Crc32(data);
    const std::uint64_t end = file.size() - mark.size();
    for (std::uint64_t at = data.size(); at < end;) {
        platform::FileReadResult piece = file.read_at(at, std::min(kChecksumPiece, end - at));
        if (!piece.error.empty()) {
            return std::nullopt;
        }
        if (piece.data.empty()) {
            break;  // the file shrank since it was opened
        }
        crc = Crc32(piece.data, crc);
        at += piece.data.size();
    }
    return Crc32(mark, crc);
}

// Reads the file without its end-of-file mark, but no more than `limit` bytes of it.
RawRead read_without_end_mark(std::string_view file_name, std::uint64_t limit,
                              FileChecksum checksum) {
    platform::ReadOnlyFileResult opened = platform::ReadOnlyFile::open(file_name);
    if (!opened.file) {
        return {{}, std::move(opened.reason)};
    }
    RawRead raw{{}, std::nullopt, opened.file->size()};
    std::uint64_t length = raw.file_bytes;
    std::string mark;
    if (length > 0) {
        platform::FileReadResult last = opened.file->read_at(length - 1, 1);
        if (!last.error.empty()) {
            return {{}, std::move(last.error)};
        }
        if (last.data.size() == 1 && static_cast<unsigned char>(last.data[0]) == kEndOfFileMark) {
            --length;
            mark = std::move(last.data);
        }
    }
    platform::FileReadResult read = opened.file->read_at(0, std::min(length, limit));
    if (!read.error.empty()) {
        return {{}, std::move(read.error)};
    }
    raw.data = std::move(read.data);
    if (checksum == FileChecksum::kWhole) {
        raw.file_crc32 = whole_file_crc32(*opened.file, raw.data, mark);
    }
    return raw;
}

}  // namespace

std::string MEMOREAD(std::string_view cFile) {
    return read_without_end_mark(cFile, std::numeric_limits<std::uint64_t>::max(),
                                 FileChecksum::kSkip)
        .data;
}

std::string PrepareTrackImage(std::string_view cRawImage) {
    if (cRawImage.size() <= kSingleSideBytes) {
        return std::string(cRawImage);
    }
    std::string image;
    image.reserve(std::min(cRawImage.size(), kTrackImageBytes));
    const auto append_block = [&](std::size_t block) {
        const std::size_t offset = block * kBlockBytes;
        if (offset < cRawImage.size()) {
            image.append(cRawImage.substr(offset, kBlockBytes));
        }
    };
    for (std::size_t pair = 0; pair < kBlockPairs; ++pair) {
        append_block(2 * pair);
    }
    for (std::size_t pair = 0; pair < kBlockPairs; ++pair) {
        append_block(2 * pair + 1);
    }
    return image;
}

TrackImageRead ReadTrackImage(std::string_view cImageFile, FileChecksum checksum) {
    // Only the first 737280 bytes can reach the track image, and whether the data is longer
    // than 184320 bytes is already settled within them. The end mark must still be judged on
    // the file's real last byte, which read_without_end_mark does before cutting.
    RawRead raw = read_without_end_mark(cImageFile, kTrackImageBytes, checksum);
    if (raw.failure) {
        return {{}, std::move(raw.failure)};
    }
    return {PrepareTrackImage(raw.data), std::nullopt, raw.file_bytes, raw.file_crc32};
}

}  // namespace kadro
