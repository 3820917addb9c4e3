#include "app/wire_trace.h"

#include <cstdio>
#include <utility>

#include "platform/text.h"

namespace kadro {
namespace {

constexpr std::chrono::milliseconds kLongestHold{100};
constexpr std::size_t kMostCollected = 64 * 1024;
constexpr std::size_t kTimeColumns = 8;

// Program text (a path, the system's words) in double quotes, as UTF-8.
std::string quoted(std::string_view text) {
    std::string result = "\"";
    for (char c : platform::TextToUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            result += '?';
        } else {
            result += c;
            if (c == '"') {
                result += c;
            }
        }
    }
    return result + "\"";
}

std::string hex(unsigned value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

std::string crc_field(std::optional<std::uint32_t> crc) {
    return " crc32=" + (crc ? hex(*crc, 8) : std::string("unknown"));
}

// The time of day in UTC, to the second, as 2025-05-04T09:12:33Z.
std::string utc_now() {
    using namespace std::chrono;
    const auto now = floor<seconds>(system_clock::now());
    const auto day = floor<days>(now);
    const year_month_day date{day};
    const hh_mm_ss time{now - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                  static_cast<int>(time.minutes().count()),
                  static_cast<int>(time.seconds().count()));
    return text;
}

// One line: the milliseconds, right-aligned, and the text.
std::string stamped(std::chrono::steady_clock::duration since_start, std::string_view text) {
    const std::string time =
        std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
    std::string line(time.size() < kTimeColumns ? kTimeColumns - time.size() : 0, ' ');
    return line.append(time).append(1, ' ').append(text).append(1, '\n');
}

const char* fault_name(platform::LineFault kind) {
    switch (kind) {
        case platform::LineFault::kHungUp:
            return "hung-up";
        case platform::LineFault::kStalled:
            return "stalled";
        default:
            return "failed";
    }
}

}  // namespace

WireTraceOpen WireTrace::Open(std::string_view path) {
    platform::AppendFileResult opened = platform::AppendFile::open(path);
    if (!opened.file) {
        return {nullptr, std::move(opened.reason)};
    }
    std::unique_ptr<WireTrace> trace(new WireTrace(path, std::move(*opened.file)));
    trace->add("start utc=" + trace->m_start_utc, true);
    if (trace->m_failure) {
        return {nullptr, *trace->m_failure};
    }
    return {std::move(trace), {}};
}

WireTrace::WireTrace(std::string_view path, platform::AppendFile file)
    : m_path(path), m_file(std::move(file)), m_start(Clock::now()), m_start_utc(utc_now()) {}

WireTrace::~WireTrace() {
    write_out();
}

void WireTrace::on_image(const ImageEvent& event) {
    std::string line = "image path=" + quoted(event.path);
    if (event.failure) {
        line += " unreadable=" + quoted(*event.failure);
    } else {
        line += " bytes=" + std::to_string(event.file_bytes) + crc_field(event.file_crc32) +
                " tracks=" + std::to_string(event.tracks);
    }
    add(line, true);
}

void WireTrace::on_port(const PortEvent& event) {
    std::string line = "port name=" + quoted(event.name) + " device=" + quoted(event.device) +
                       " settings=" + std::string(event.settings);
    if (event.failure) {
        line += " failed=" + quoted(*event.failure);
    }
    add(line, true);
}

void WireTrace::on_command(char byte) {
    const auto value = static_cast<unsigned char>(byte);
    std::string line = "command 0x" + hex(value, 2);
    if (value >= 0x20 && value < 0x7F) {
        line.append(1, ' ').append(quoted(std::string_view(&byte, 1)));
    }
    add(line, false);
}

void WireTrace::on_wait() {
    write_out();
}

void WireTrace::on_track(const TrackEvent& event) {
    const long long tenths = (event.elapsed.count() + 50) / 100;
    add("track " + std::to_string(event.index) + " sectors=" + std::to_string(event.first_sector) +
            ".." + std::to_string(event.last_sector) + " bytes=" + std::to_string(event.bytes) +
            crc_field(event.crc32) + " ms=" + std::to_string(tenths / 10) + "." +
            std::to_string(tenths % 10) + (event.complete ? "" : " cut-short"),
        false);
}

void WireTrace::on_stop_byte(bool sent) {
    add(sent ? "stop-byte 0x09" : "stop-byte 0x09 not-sent", true);
}

void WireTrace::on_end_request() {
    add("end-request", true);
}

void WireTrace::on_line_fault(const LineFaultEvent& event) {
    add(std::string("line-fault kind=") + fault_name(event.kind) +
            " reason=" + quoted(event.reason),
        true);
}

void WireTrace::on_end() {
    add("end", true);
    m_file.reset();
}

void WireTrace::add(std::string_view text, bool now) {
    if (!m_file) {
        return;
    }
    const Clock::time_point at = Clock::now();
    if (m_collected.empty()) {
        m_collected_since = at;
    }
    m_collected += stamped(at - m_start, text);
    if (now || at - m_collected_since >= kLongestHold || m_collected.size() >= kMostCollected) {
        write_out();
    }
}

void WireTrace::write_out() {
    if (!m_file || m_collected.empty()) {
        return;
    }
    if (m_file->size() > 0 && m_file->size() + m_collected.size() > kFileLimit) {
        rotate();
        if (!m_file) {
            return;
        }
    }
    std::string error = m_file->append(m_collected);
    m_collected.clear();
    m_written = true;
    if (!error.empty()) {
        m_failure = std::move(error);
        m_file.reset();
    }
}

void WireTrace::rotate() {
    m_file.reset();  // a file cannot be renamed while it is open everywhere
    std::string error = platform::RenameReplacing(m_path, m_path + ".1");
    if (error.empty()) {
        platform::AppendFileResult opened = platform::AppendFile::open(m_path);
        if (opened.file) {
            m_file = std::move(opened.file);
            if (m_written) {
                m_collected.insert(
                    0, stamped(Clock::now() - m_start, "continued start-utc=" + m_start_utc));
            }
            return;
        }
        error = std::move(opened.reason);
    }
    m_failure = std::move(error);
    m_collected.clear();
}

}  // namespace kadro
