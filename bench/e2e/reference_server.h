#pragma once
// What the end-to-end benchmarks measure the program against: the image every run serves, and a
// reference server that does the least the protocol asks (read "T", write 0x00, pause, write the
// track), on the near end of a line.
//
// Contract: the functions that touch a line throw std::runtime_error when it fails or goes quiet
// for longer than remote_side.h's time-out.

#include <string>
#include <string_view>
#include <vector>

namespace kadro::bench {

// kTracks tracks of a byte pattern in which no two tracks are alike.
std::string BenchImage();

// Answers one "T" on `fd`: 0x00, the lead-in pause, then `track`, each written until the line
// has sent it.
void AnswerTrack(int fd, std::string_view track);

// Answers kTracks requests on `fd` with the tracks of `image` in order, passing over bytes that
// are not "T".
void ServeReference(int fd, std::string_view image);

// The reference served over a pseudo-terminal while the remote machine fetches every track:
// the whole time, and each request's time from "T" to 0x00 in milliseconds.
struct ReferenceRun {
    double seconds = 0;
    std::vector<double> latencies;
};
ReferenceRun RunReference(std::string_view image);

}  // namespace kadro::bench
