#pragma once
// The wire protocol between KADRO and the remote machine, and the disk layout of the images it
// serves. The program, kadro-remote, make-sample-image, the fuzz targets and the benchmarks take
// these values from here; change the protocol here and they follow.
//
// The remote machine sends one-byte commands. kTrackRequest is answered with kLeadIn, a pause of
// kLeadInPause and the next track (kTrackBytes, fewer when the image ends). kEndOfService ends
// serving; every other byte is ignored. When the operator stops serving, kStopByte goes to the
// remote machine. The line runs as kLineMode says (a mode string of BUILDCOMMDCB), without flow
// control.
//
// Constants only: nothing here can fail.

#include <chrono>
#include <cstddef>
#include <string_view>

namespace kadro::protocol {

inline constexpr std::string_view kLineMode = "57600,N,8,1";

inline constexpr char kTrackRequest = 'T';
inline constexpr char kEndOfService = 'E';
inline constexpr char kLeadIn = '\x00';
inline constexpr std::chrono::milliseconds kLeadInPause{10};
inline constexpr char kStopByte = '\x09';

inline constexpr std::size_t kSectorBytes = 256;
inline constexpr int kSectorsPerTrack = 18;
inline constexpr std::size_t kTrackBytes = kSectorBytes * kSectorsPerTrack;  // 4608

// An image of at most kSingleSideTracks tracks is one side, sent as it stands. A longer one
// holds two sides stored track by track (side 0, side 1, side 0, ...) and is sent side by side;
// blocks beyond kMostTracks are never sent.
inline constexpr std::size_t kSingleSideTracks = 40;
inline constexpr std::size_t kMostTracks = 160;

}  // namespace kadro::protocol
