#include "app/serve/serving_progress.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "app/protocol.h"

namespace kadro::serve {
namespace {

// The speed and the bits of one byte on the line, from the mode string ("57600,N,8,1": a start
// bit, 8 data bits, no parity bit, 1 stop bit).
struct LineFrame {
    double baud = 0;
    int bits_per_byte = 0;
};

int number(std::string_view text) {
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

LineFrame line_frame() {
    std::vector<std::string_view> fields;
    std::string_view mode = protocol::kLineMode;
    for (std::size_t comma; (comma = mode.find(',')) != std::string_view::npos;) {
        fields.push_back(mode.substr(0, comma));
        mode.remove_prefix(comma + 1);
    }
    fields.push_back(mode);
    fields.resize(4);
    const bool parity = !fields[1].empty() && fields[1].front() != 'N';
    return {static_cast<double>(number(fields[0])),
            1 + number(fields[2]) + (parity ? 1 : 0) + number(fields[3])};
}

std::string clock_text(double seconds) {
    const auto whole = static_cast<long>(std::lround(std::max(0.0, seconds)));
    char text[32];
    if (whole >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

double LineSeconds(std::size_t bytes, std::size_t tracks) {
    static const LineFrame frame = line_frame();
    const double pause = std::chrono::duration<double>(protocol::kLeadInPause).count();
    return static_cast<double>(bytes + tracks) * frame.bits_per_byte / frame.baud +
           static_cast<double>(tracks) * pause;
}

void ServingProgress::on_image(const ImageEvent& event) {
    if (event.failure) {
        return;
    }
    m_image = true;
    m_tracks = event.tracks;
    m_image_bytes = event.track_image_bytes;
    m_sent_tracks = 0;
    m_sent_bytes = 0;
    m_started.reset();
}

void ServingProgress::on_track(const TrackEvent& event) {
    if (!m_started) {
        m_started = Clock::now() - event.elapsed;
    }
    ++m_sent_tracks;
    m_sent_bytes += event.bytes;
}

std::string ServingProgress::StatusText(Clock::time_point now) const {
    if (!m_image) {
        return {};
    }
    if (!m_started) {
        return "waiting for the remote machine: " + std::to_string(m_tracks) + " tracks";
    }
    const std::size_t tracks_left = m_tracks > m_sent_tracks ? m_tracks - m_sent_tracks : 0;
    const std::size_t bytes_left = m_image_bytes > m_sent_bytes ? m_image_bytes - m_sent_bytes : 0;
    return "track " + std::to_string(m_sent_tracks) + " of " + std::to_string(m_tracks) + " | " +
           std::to_string(m_sent_bytes) + " bytes | " +
           clock_text(std::chrono::duration<double>(now - *m_started).count()) + " elapsed | " +
           clock_text(LineSeconds(bytes_left, tracks_left)) + " left";
}

}  // namespace kadro::serve
