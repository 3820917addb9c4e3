#pragma once
// Turning the floppy image file into the track image the program serves.
//
// The image holds 4608-byte blocks (one side of one track). A file of more than 40 blocks
// (184320 bytes) is taken as a two-sided image stored block by block; the track image then
// holds blocks 0, 2, ..., 158 followed by blocks 1, 3, ..., 159 (so at most 737280 bytes),
// each block as far as the data reaches — a partial block is kept as it is and blocks beyond
// the end are left out, nothing is padded. Smaller data is used unchanged.
//
// MEMOREAD(cFile): the contents of an existing regular file, opened shared (it may be open
// for writing elsewhere). A last byte 0x1A (end-of-file mark) is left out — only that one
// byte, only at the end. "" when the file cannot be opened (missing, no permission, not a
// regular file) or is empty. A read that delivers less than the size gives what was read.
// Reads the whole file: allocation failure throws std::bad_alloc.
//
// PrepareTrackImage(cRawImage): the track image of the given data, as above. Pure.
//
// ReadTrackImage(cImageFile): PrepareTrackImage(MEMOREAD(cImageFile)) for a file that can be
// read, but reads no more than the first 737280 bytes and the last byte, so a huge file costs
// no more memory than a full image. Unlike MEMOREAD it tells a file that cannot be read from an
// empty one: when the file cannot be opened (missing, no permission, not a regular file) or an
// input/output error stops a read, `failure` holds the system's text for it and `TrackImage` is
// empty. An existing file of 0 bytes, or of the single byte 0x1A, is an empty image, no failure.
// `file_bytes` is the file's size when it was opened. With FileChecksum::kWhole, `file_crc32`
// is the CRC-32 of every byte of the file (the end mark and anything beyond 737280 bytes too,
// the rest read in pieces, never held whole); nullopt without it, after a failure, or when an
// input/output error stops the reading of that rest (the image itself is still good then).
// Allocation failure throws std::bad_alloc.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kadro {

std::string MEMOREAD(std::string_view cFile);

std::string PrepareTrackImage(std::string_view cRawImage);

struct TrackImageRead {
    std::string TrackImage;
    std::optional<std::string> failure;
    std::uint64_t file_bytes = 0;
    std::optional<std::uint32_t> file_crc32;
};

enum class FileChecksum { kSkip, kWhole };

TrackImageRead ReadTrackImage(std::string_view cImageFile,
                              FileChecksum checksum = FileChecksum::kSkip);

}  // namespace kadro
