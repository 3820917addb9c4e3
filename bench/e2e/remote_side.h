#pragma once
// The remote machine's side of the end-to-end benchmarks: writing and reading the far end of a
// line, fetching every track of an image with the time each "T" took to be answered, and the
// percentiles of those times.
//
// Contract: every function throws std::runtime_error when the line fails or goes quiet for
// longer than its time-out (10 s unless given).

#include <chrono>
#include <cstddef>
#include <string_view>
#include <vector>

#include "app/protocol.h"

namespace kadro::bench {

constexpr std::size_t kTrack = protocol::kTrackBytes;
constexpr std::size_t kTracks = protocol::kMostTracks;

void write_all(int fd, std::string_view bytes);
// Reads what is there, at most `size` bytes, waiting up to `timeout` for the first.
std::size_t read_some(int fd, char* buffer, std::size_t size,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10));
// Sends "T" `count` times, each after the whole answer to the previous one (0x00 and a track);
// returns the milliseconds from each "T" written to its 0x00 read.
std::vector<double> fetch_tracks(int fd, std::size_t count);
// Writes `size` bytes that are neither "T" nor "E", then "T"; returns the milliseconds from that
// "T" to its 0x00, and from the first byte of noise to that 0x00 (whatever follows is not read).
struct NoiseAnswer {
    double after_t_ms = 0;
    double after_noise_start_ms = 0;
};
NoiseAnswer answer_after_noise(int fd, std::size_t size);
// The value below which the fraction `p` of `values` lies (nearest rank).
double percentile(std::vector<double> values, double p);

}  // namespace kadro::bench
