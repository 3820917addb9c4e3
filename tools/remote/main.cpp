// kadro-remote: plays the remote machine on a serial line or a TCP connection. It asks for tracks
// with "T", reads each answer (the 0x00 lead-in, then up to 4608 bytes), can send "E" and other
// bytes, and writes what it received to a file or compares it with an expected image.

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/protocol.h"
#include "platform/serial_port_list.h"
#include "tools/remote/line.h"
#include "tools/remote/link.h"

namespace {

using kadro::protocol::kTrackBytes;

enum ExitCode { kOk = 0, kMismatch = 1, kUsage = 2 };

constexpr const char* kHelp = R"(usage: kadro-remote (--device NAME | --fd N | --tcp HOST:PORT |
                      --tcp-listen PORT) [options]
       kadro-remote --list-ports

Plays the remote machine of a KADRO link on a serial line or over TCP: sends
"T" requests, reads each answer (a 0x00 lead-in and up to 4608 bytes), and
checks or saves what arrived.

  --device NAME     serial device: a path (/dev/ttyUSB0), a name under /dev
                    (ttyUSB0) or COM1..COM256 (= /dev/ttyS0..)
  --fd N            use the already open descriptor N (for example the far end
                    of a pseudo-terminal handed over by a test)
  --tcp HOST:PORT   connect to KADRO listening there (Porta=tcp-listen:PORT)
  --tcp-listen PORT listen on 127.0.0.1:PORT and take the first connection,
                    which KADRO makes (Porta=tcp:127.0.0.1:PORT); 0 lets the
                    system choose the port. Where it listens is told on
                    standard error, also with --quiet
  --mode MODE       line settings for --device (default "57600,N,8,1")
  --tracks N        number of track requests (default 1; 0 sends none)
  --batch K         send K requests at once, then read their K answers
                    (default 1: one request at a time)
  --timeout-ms MS   longest wait for a lead-in and between bytes of an answer
                    (default 3000); an answer that stops early is kept short
  --send HEX        send these bytes before the requests, e.g. 09 or 41,42
  --end             send "E" after the last answer
  --out FILE        write the received track bytes (lead-ins removed) to FILE
  --expect FILE     compare the received track bytes with FILE and report the
                    first differing byte
  --quiet           report failures only
  --list-ports      list the serial ports of this computer (the name for
                    --device first) and exit; no port is opened
  --help            show this text
  --version         show the version

Exit status: 0 success, 1 missing lead-in, time-out or difference,
2 usage, device or connection error.
)";

struct Options {
    std::string device;
    int fd = -1;
    std::string tcp;  // the TCP line's name (platform/tcp_line.h)
    std::string mode{kadro::protocol::kLineMode};
    long tracks = 1;
    long batch = 1;
    int timeout_ms = 3000;
    std::string send_first;
    bool end = false;
    std::string out_file;
    std::string expect_file;
    bool quiet = false;
};

std::optional<long> to_number(std::string_view s) {
    long value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size() || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> parse_hex(std::string_view s) {
    std::string bytes;
    std::string digits;
    for (char c : s) {
        if (c == ',' || c == ' ') {
            continue;
        }
        digits.push_back(c);
    }
    if (digits.empty() || digits.size() % 2 != 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
        if (ec != std::errc{} || end != digits.data() + i + 2) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

// What the command line asks for besides a run.
enum class Request { Run, Help, Version, ListPorts };

// Returns nullopt after printing the reason for a bad command line; sets `request` for --help,
// --version and --list-ports (the first of them wins).
std::optional<Options> parse_options(int argc, char** argv, Request& request) {
    Options o;
    auto fail = [](const std::string& why) -> std::optional<Options> {
        std::fprintf(stderr, "kadro-remote: %s (see --help)\n", why.c_str());
        return std::nullopt;
    };
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= argc) {
                return std::nullopt;
            }
            return std::string_view(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            request = Request::Help;
            return o;
        }
        if (arg == "--version") {
            request = Request::Version;
            return o;
        }
        if (arg == "--list-ports") {
            request = Request::ListPorts;
            return o;
        }
        if (arg == "--end") {
            o.end = true;
            continue;
        }
        if (arg == "--quiet") {
            o.quiet = true;
            continue;
        }
        auto v = value();
        if (!v) {
            return fail("unknown option or missing value: " + std::string(arg));
        }
        if (arg == "--device") {
            o.device = *v;
        } else if (arg == "--tcp") {
            o.tcp = "tcp:" + std::string(*v);
        } else if (arg == "--tcp-listen") {
            // Only a port: listening anywhere but on loopback is not for a test tool.
            if (v->empty() || v->find_first_not_of("0123456789") != std::string_view::npos) {
                return fail("--tcp-listen wants a port number: " + std::string(*v));
            }
            o.tcp = "tcp-listen:" + std::string(*v);
        } else if (arg == "--mode") {
            o.mode = *v;
        } else if (arg == "--out") {
            o.out_file = *v;
        } else if (arg == "--expect") {
            o.expect_file = *v;
        } else if (arg == "--send") {
            auto bytes = parse_hex(*v);
            if (!bytes) {
                return fail("--send wants hexadecimal bytes, e.g. 09 or 41,42");
            }
            o.send_first += *bytes;
        } else if (arg == "--fd" || arg == "--tracks" || arg == "--batch" ||
                   arg == "--timeout-ms") {
            auto n = to_number(*v);
            if (!n || (arg == "--batch" && *n == 0) || *n > 1'000'000) {
                return fail("bad number for " + std::string(arg) + ": " + std::string(*v));
            }
            if (arg == "--fd") {
                o.fd = static_cast<int>(*n);
            } else if (arg == "--tracks") {
                o.tracks = *n;
            } else if (arg == "--batch") {
                o.batch = *n;
            } else {
                o.timeout_ms = static_cast<int>(*n);
            }
        } else {
            return fail("unknown option: " + std::string(arg));
        }
    }
    const int lines = (o.device.empty() ? 0 : 1) + (o.fd >= 0 ? 1 : 0) + (o.tcp.empty() ? 0 : 1);
    if (lines != 1) {
        return fail("give exactly one of --device, --fd, --tcp and --tcp-listen");
    }
    return o;
}

using remote::Link;

// Receives one answer into `data`; false (with the reason printed) when the lead-in is missing.
bool receive_answer(Link& line, long number, const Options& o, std::string& data) {
    std::string lead = line.read_some(1, o.timeout_ms);
    if (lead.empty()) {
        std::fprintf(stderr, "kadro-remote: track %ld: no answer within %d ms\n", number,
                     o.timeout_ms);
        return false;
    }
    if (lead[0] != kadro::protocol::kLeadIn) {
        std::fprintf(stderr, "kadro-remote: track %ld: expected lead-in 0x00, received 0x%02X\n",
                     number, static_cast<unsigned char>(lead[0]));
        return false;
    }
    std::string track = line.read_some(kTrackBytes, o.timeout_ms);
    if (!o.quiet) {
        std::fprintf(stderr, "kadro-remote: track %ld: %zu bytes\n", number, track.size());
    }
    data += track;
    return true;
}

int compare(const std::string& received, const std::string& expected_file) {
    std::ifstream in(expected_file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "kadro-remote: cannot read %s\n", expected_file.c_str());
        return kUsage;
    }
    std::string expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t common = std::min(expected.size(), received.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (expected[i] != received[i]) {
            std::fprintf(stderr,
                         "kadro-remote: first difference at byte %zu (track %zu, offset %zu): "
                         "expected 0x%02X, received 0x%02X\n",
                         i, i / kTrackBytes + 1, i % kTrackBytes,
                         static_cast<unsigned char>(expected[i]),
                         static_cast<unsigned char>(received[i]));
            return kMismatch;
        }
    }
    if (expected.size() != received.size()) {
        std::fprintf(stderr,
                     "kadro-remote: received %zu bytes, expected %zu; the first %zu agree\n",
                     received.size(), expected.size(), common);
        return kMismatch;
    }
    return kOk;
}

}  // namespace

int main(int argc, char** argv) {
    Request request = Request::Run;
    auto options = parse_options(argc, argv, request);
    if (request == Request::Help) {
        std::fputs(kHelp, stdout);
        return kOk;
    }
    if (request == Request::Version) {
        std::printf("kadro-remote %s\n", KADRO_VERSION);
        return kOk;
    }
    if (request == Request::ListPorts) {
        std::fputs(platform::SerialPortListText(platform::ListSerialPorts()).c_str(), stdout);
        return kOk;
    }
    if (!options) {
        return kUsage;
    }
    const Options& o = *options;
    std::unique_ptr<Link> line =
        !o.tcp.empty() ? remote::OpenTcpLink(o.tcp)
                       : remote::SerialLink(o.fd >= 0 ? remote::AdoptLine(o.fd)
                                                      : remote::OpenLine(o.device, o.mode));
    if (line == nullptr) {
        return kUsage;
    }
    if (!o.send_first.empty() && !line->write_all(o.send_first)) {
        return kUsage;
    }

    std::string data;
    int status = kOk;
    for (long done = 0; done < o.tracks && status == kOk;) {
        long now = std::min(o.batch, o.tracks - done);
        if (!line->write_all(
                std::string(static_cast<std::size_t>(now), kadro::protocol::kTrackRequest))) {
            return kUsage;
        }
        for (long i = 0; i < now && status == kOk; ++i) {
            if (!receive_answer(*line, done + i + 1, o, data)) {
                status = kMismatch;
            }
        }
        done += now;
    }
    if (o.end && !line->write_all(std::string{kadro::protocol::kEndOfService})) {
        return kUsage;
    }
    if (!o.out_file.empty()) {
        std::ofstream out(o.out_file, std::ios::binary);
        out.write(data.data(), static_cast<std::streamsize>(data.size()));
        if (!out) {
            std::fprintf(stderr, "kadro-remote: cannot write %s\n", o.out_file.c_str());
            return kUsage;
        }
    }
    if (status == kOk && !o.expect_file.empty()) {
        status = compare(data, o.expect_file);
    }
    if (status == kOk && !o.quiet) {
        std::fprintf(stderr, "kadro-remote: %zu bytes received\n", data.size());
    }
    return status;
}
