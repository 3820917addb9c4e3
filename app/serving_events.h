#pragma once
// What happens while the program serves, told to whoever registered to hear it: the wire trace,
// a console's status line. The application routines announce each event from one place; the
// program registers the observers. Nothing here touches a file, a port or a window.
//
// Events, in the order a run meets them (any may be missing when the run ends early):
//   image        MAIN has read the chosen image: its path (the program's text, as chosen), the
//                file's size and the CRC-32 of all its bytes (also those never served, and a
//                trailing 0x1A; none when an input/output error stopped the reading of bytes
//                beyond the served ones), the number of tracks and bytes of the track image.
//                When the file cannot be read, `failure` holds the system's text and the rest
//                is empty; the run then ends without serving.
//   port         APRICOM has set up the port, or failed to: the name from the settings, the
//                device that name opens, the line settings ("57600,N,8,1"); when a step failed,
//                `failure` says which in English ("cannot be opened", "line settings refused",
//                "port refused the line settings", "notification refused", "set-up broken off
//                by an error", after the error handler's own pop-up). Fires once per APRICOM,
//                before the operator's pop-up.
//   command      WAITCOMMAND has taken one received byte, whatever it is ("T", "E", or a byte
//                that will be ignored), before the command loop acts on it.
//   wait         the command loop is about to wait: for the next received byte (each rest of
//                WAITCOMMAND) or for its bytes to leave the port (each SENDSTR). No data; fires
//                often. An observer that buffers writes out here, so nothing it holds waits
//                through a blocking call.
//   track        TRK has answered a "T": the request's number in the run (from 0), the sector
//                range of its log line, the track bytes the answer carried after the lead-in
//                (0 to 4608; 0 once the image is used up) and their CRC-32, the time from the
//                start of the answer (the "T" just taken) to the return of the last write, and
//                whether the lead-in and every track byte went out. An incomplete answer is
//                followed by a line fault.
//   stop byte    KADRO has sent the stop byte 0x09 for the operator's Escape, and whether the
//                port took it.
//   end request  KADRO has taken "E" and asks the window to end.
//   line fault   the command loop stops serving because the line failed (a write cut short, or
//                a fault found while waiting, also after serving when the window stayed open):
//                the kind, the system's text for it (may be empty) and the words of the log
//                line. Fires before the operator's pop-up.
//   end          the run is over: fires once, from the program's exit procedures, so also when
//                the runtime error handler ends the program. Nothing follows it.
//
// Contract:
// - Everything runs on the interface thread: observers are called synchronously, in the order
//   they were registered, from inside the routine that announces the event; text and byte views
//   in an event are valid only during the call. An observer must return quickly and must not
//   register or unregister observers from inside a call. An exception an observer lets out
//   reaches the announcing routine (and so the runtime error handler); observers should not
//   throw.
// - ObserveServing(observer) registers `observer` until the returned ServingObservation is
//   destroyed (or reset); the observer must outlive it. The registry is one per process.
// - ServingObserved(): true while any observer is registered; announcing routines skip work
//   that only an event needs (checksums) when none is.
// - ServingObservers(): the registered observers, in the order they registered.
// - Notify(&ServingObserver::on_<event>, data) announces an event to each of them; it is for the
//   application routines named above, and with no observer registered it does nothing.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/serial_device.h"

namespace kadro {

struct ImageEvent {
    std::string_view path;
    std::optional<std::string_view> failure;
    std::uint64_t file_bytes = 0;
    std::optional<std::uint32_t> file_crc32;  // nullopt when the file could not be read to its end
    std::size_t tracks = 0;
    std::size_t track_image_bytes = 0;
};

struct PortEvent {
    std::string_view name;
    std::string_view device;
    std::string_view settings;
    std::optional<std::string_view> failure;
};

struct TrackEvent {
    int index = 0;
    int first_sector = 0;
    int last_sector = 0;
    std::size_t bytes = 0;
    std::uint32_t crc32 = 0;
    std::chrono::microseconds elapsed{0};
    bool complete = false;
};

struct LineFaultEvent {
    platform::LineFault kind = platform::LineFault::kFailed;
    std::string_view reason;
    std::string_view description;
};

class ServingObserver {
  public:
    virtual ~ServingObserver() = default;
    virtual void on_image(const ImageEvent&) {}
    virtual void on_port(const PortEvent&) {}
    virtual void on_command(char) {}
    virtual void on_wait() {}
    virtual void on_track(const TrackEvent&) {}
    virtual void on_stop_byte(bool) {}
    virtual void on_end_request() {}
    virtual void on_line_fault(const LineFaultEvent&) {}
    virtual void on_end() {}
};

// A registration; removes its observer when destroyed. Move-only.
class ServingObservation {
  public:
    ServingObservation() = default;
    explicit ServingObservation(ServingObserver* observer) : m_observer(observer) {}
    ServingObservation(ServingObservation&& other) noexcept
        : m_observer(std::exchange(other.m_observer, nullptr)) {}
    ServingObservation& operator=(ServingObservation&& other) noexcept;
    ServingObservation(const ServingObservation&) = delete;
    ServingObservation& operator=(const ServingObservation&) = delete;
    ~ServingObservation() { reset(); }

    void reset();

  private:
    ServingObserver* m_observer = nullptr;
};

[[nodiscard]] ServingObservation ObserveServing(ServingObserver& observer);
bool ServingObserved();

const std::vector<ServingObserver*>& ServingObservers();

// The data's types come from `handler` alone, so an event may be written as a braced list.
template <typename... Params>
void Notify(void (ServingObserver::*handler)(Params...), std::type_identity_t<Params>... args) {
    for (ServingObserver* observer : ServingObservers()) {
        (observer->*handler)(args...);
    }
}

}  // namespace kadro
