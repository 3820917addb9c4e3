#pragma once
// The progress of a session, as the status line of kadro-serve shows it, kept from the serving
// events (app/serving_events.h).
//
// Each image read starts a session (also the image prepared afresh for the next one): nothing
// sent yet, its tracks and bytes known. Each answered track adds its bytes; the clock starts at
// the session's first track request. StatusText(now):
//   ""                                              before an image was read
//   "waiting for the remote machine: 160 tracks"   before the first request
//   "track 12 of 160 | 55296 bytes | 0:10 elapsed | 2:01 left"
// The time left is what the rest of the image takes on the line (kLineMode's speed and frame:
// 10 bits a byte at 57600 baud) with each track's lead-in byte and pause: a whole image of 160
// tracks takes about 130 s. Requests beyond the image's tracks count on, with nothing left.
// Pure bookkeeping on the interface thread; nothing fails.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "app/serving_events.h"

namespace kadro::serve {

class ServingProgress final : public ServingObserver {
  public:
    using Clock = std::chrono::steady_clock;

    void on_image(const ImageEvent& event) override;
    void on_track(const TrackEvent& event) override;

    std::string StatusText(Clock::time_point now) const;

  private:
    bool m_image = false;
    std::size_t m_tracks = 0;
    std::size_t m_image_bytes = 0;
    std::size_t m_sent_tracks = 0;
    std::size_t m_sent_bytes = 0;
    std::optional<Clock::time_point> m_started;
};

// Seconds the line needs for `bytes` bytes sent as `tracks` answers (each with its lead-in byte
// and pause), at the line settings of the protocol.
double LineSeconds(std::size_t bytes, std::size_t tracks);

}  // namespace kadro::serve
