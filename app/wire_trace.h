#pragma once
// The wire trace: every serving event (app/serving_events.h) as one line of a plain text file
// that an operator can attach to a bug report and a maintainer can search.
//
// Lines are UTF-8 and end in LF. Each is "<ms> <event> <fields>": the milliseconds since the
// trace was opened in this run, right-aligned in 8 columns, the event's name and its fields as
// name=value. Text (paths, the system's words) stands in double quotes, a quote inside it
// doubled and a control character shown as '?'; a CRC-32 is 8 lower-case hexadecimal digits.
//        0 start utc=2025-05-04T09:12:33Z
//        1 image path="/home/ada/disk.vks" bytes=737280 crc32=1c291ca3 tracks=160
//        1 image path="/home/ada/gone.vks" unreadable="No such file or directory"
//        3 port name="COM1" device="/dev/ttyS0" settings=57600,N,8,1
//        3 port name="COM9" device="/dev/ttyS8" settings=57600,N,8,1 failed="cannot be opened"
//     1520 command 0x54 "T"           (the character only when it is printable ASCII)
//     1531 track 0 sectors=-1..16 bytes=4608 crc32=0c1d2e3f ms=10.6
//     9312 track 7 sectors=125..142 bytes=4608 crc32=44ab01f2 ms=10013.0 cut-short
//     9312 line-fault kind=stalled reason=""
//     9990 stop-byte 0x09              ("stop-byte 0x09 not-sent" when the port refused it)
//    10007 end-request
//    10007 end
// The image's crc32 is "unknown" when the file could not be read to its end. A track's bytes
// are those of the answer after its lead-in, "cut-short" when they did not all go out, and its
// ms run from the "T" taken to the last byte written. A line-fault's kind is hung-up, stalled
// or failed. A file begun by the size limit in the middle of a run opens with
// "<ms> continued start-utc=<the utc of its start line>".
//
// Writing: lines are collected in memory and written out by one append (one system call):
//  - at once for every event but "command" and "track", which can come many a second;
//  - at the "wait" event, which comes before every blocking wait of the command loop (for the
//    next byte, or for its own bytes to leave), so no line waits in memory while it blocks;
//  - when the oldest line collected is 100 ms old as another is added, or 64 KiB are waiting.
// So a crash loses only what was collected since the command loop last waited or wrote (CPU
// work of microseconds to milliseconds while serving), and the end of the run (also the error
// handler's, which runs the exit procedures) writes everything out.
//
// Size: a write-out that would take the file past kFileLimit (4 MiB) first renames it to
// "<path>.1", replacing an older one, and begins the file anew. An existing file is added to,
// so the traces of several runs follow each other, each from its "start" line.
//
// Open(path): opens or creates the file (platform/append_file.h: the program's text, a regular
// file only) and writes its start line; on failure `reason` holds the system's text and no
// trace exists. A later write, rename or reopen that fails stops the trace for the rest of the
// run: failure() then holds the system's text, what was written stays, and events are ignored.
// The end event writes the end line and closes the file; later events are ignored. Destruction
// writes out whatever is collected. Interface thread only, like the events.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/serving_events.h"
#include "platform/append_file.h"

namespace kadro {

class WireTrace;

struct WireTraceOpen {
    std::unique_ptr<WireTrace> trace;
    std::string reason;
};

class WireTrace final : public ServingObserver {
  public:
    static constexpr std::uint64_t kFileLimit = std::uint64_t{4} << 20;

    static WireTraceOpen Open(std::string_view path);

    WireTrace(const WireTrace&) = delete;
    WireTrace& operator=(const WireTrace&) = delete;
    ~WireTrace() override;

    const std::optional<std::string>& failure() const { return m_failure; }

    void on_image(const ImageEvent& event) override;
    void on_port(const PortEvent& event) override;
    void on_command(char byte) override;
    void on_wait() override;
    void on_track(const TrackEvent& event) override;
    void on_stop_byte(bool sent) override;
    void on_end_request() override;
    void on_line_fault(const LineFaultEvent& event) override;
    void on_end() override;

  private:
    using Clock = std::chrono::steady_clock;

    WireTrace(std::string_view path, platform::AppendFile file);
    // Collects one line (the text after the time); writes out now when `now` says so or the
    // collected lines are due.
    void add(std::string_view text, bool now);
    void write_out();
    void rotate();

    std::string m_path;
    std::optional<platform::AppendFile> m_file;
    Clock::time_point m_start;
    std::string m_start_utc;
    std::string m_collected;
    Clock::time_point m_collected_since;
    bool m_written = false;  // some of this run's lines are in a file
    std::optional<std::string> m_failure;
};

}  // namespace kadro
