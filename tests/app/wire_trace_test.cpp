// The wire trace of whole runs over a pseudo-terminal: every event's line, written out before
// the program waits, the size limit, a trace that cannot be opened, and where the trace is named.

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

#include "app/crc32.h"
#include "app/wire_trace.h"
#include "tests/app/program_fixture.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kTrack = 4608;

std::string hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

struct TraceLine {
    long ms;
    std::string body;
};

// The lines of a trace: each is the milliseconds right-aligned in 8 columns, a blank and the
// event; anything else fails the test.
std::vector<TraceLine> lines_of(const std::string& trace) {
    static const std::regex line_format(R"( *(\d+) (\S.*))");
    std::vector<TraceLine> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = trace.find('\n', at)) != std::string::npos; at = end + 1) {
        const std::string line = trace.substr(at, end - at);
        std::smatch match;
        EXPECT_TRUE(std::regex_match(line, match, line_format)) << line;
        EXPECT_GE(line.find(' ', line.find_first_not_of(' ')), 8u) << line;
        if (!match.empty()) {
            lines.push_back({std::stol(match[1]), match[2]});
        }
    }
    EXPECT_EQ(at, trace.size()) << "the trace ends inside a line";
    return lines;
}

class Trace : public ProgramTest {
  protected:
    // A run on a fresh pseudo-terminal whose settings hold `entries` after the port.
    PtyPair& set_up(const std::string& image, const std::string& entries) {
        use_image(image);
        m_pty.emplace();
        spit("KADRO.INI", "[Impostazioni]\r\nPorta=" + m_pty->path() + "\r\n" + entries);
        return *m_pty;
    }

    // What a run that begins with its start line has in common: the image and the port.
    void expect_opening(const std::vector<TraceLine>& lines, const std::string& image) {
        ASSERT_GE(lines.size(), 3u);
        EXPECT_TRUE(std::regex_match(lines[0].body,
                                     std::regex(R"(start utc=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ)")))
            << lines[0].body;
        EXPECT_EQ(lines[1].body,
                  "image path=\"" + m_dir + "/image.vks\" bytes=" + std::to_string(image.size()) +
                      " crc32=" + hex8(Crc32(image)) +
                      " tracks=" + std::to_string((image.size() + kTrack - 1) / kTrack));
        EXPECT_EQ(lines[2].body, "port name=\"" + m_pty->path() + "\" device=\"" + m_pty->path() +
                                     "\" settings=57600,N,8,1");
    }

    // Tracks compared up to their time, which must cover the 10 ms pause.
    static void expect_events(const std::vector<TraceLine>& lines,
                              const std::vector<std::string>& expected) {
        ASSERT_EQ(lines.size(), expected.size());
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (expected[i].ends_with(" ms=")) {
                ASSERT_TRUE(lines[i].body.starts_with(expected[i])) << lines[i].body;
                EXPECT_GE(std::stod(lines[i].body.substr(expected[i].size())), 10.0);
                EXPECT_TRUE(std::regex_search(lines[i].body, std::regex(R"(ms=\d+\.\d$)")));
            } else {
                EXPECT_EQ(lines[i].body, expected[i]) << "line " << i;
            }
            if (i > 0) {
                EXPECT_GE(lines[i].ms, lines[i - 1].ms) << "line " << i;
            }
        }
    }
};

// A request's track line, up to its time.
std::string track_line(int k, const std::string& tracks) {
    const std::string data = tracks.substr(std::min(tracks.size(), k * kTrack), kTrack);
    return "track " + std::to_string(k) + " sectors=" + std::to_string(18 * k - 1) + ".." +
           std::to_string(18 * k + 16) + " bytes=" + std::to_string(data.size()) +
           " crc32=" + hex8(Crc32(data)) + " ms=";
}

TEST_F(Trace, AThreeTrackRunTracesEveryEventAndWritesItOutBeforeEachWait) {
    std::string image(2 * kTrack + 1000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 7 + i / 251);
    }
    PtyPair& pty = set_up(image, "Traccia=trace.txt\r\n");
    bool track_written_while_waiting = false;
    const int code = serve([&] {
        pty.send("T");
        pty.receive(1 + kTrack);
        // The program now rests until the next byte: the track's line must be in the file.
        for (auto deadline = std::chrono::steady_clock::now() + 5s;
             !track_written_while_waiting && std::chrono::steady_clock::now() < deadline;) {
            track_written_while_waiting = slurp("trace.txt").find(" track 0 ") != std::string::npos;
            std::this_thread::sleep_for(5ms);
        }
        pty.send("T");
        pty.receive(1 + kTrack);
        m_display->escape_polls_held = 2;  // the wait and the look after it: one stop byte
        pty.send("x");
        pty.receive(1);
        pty.send("\x01T");
        pty.receive(1 + 1000);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(track_written_while_waiting);
    const std::vector<TraceLine> lines = lines_of(slurp("trace.txt"));
    expect_opening(lines, image);
    expect_events(
        std::vector<TraceLine>(lines.begin() + std::min<std::size_t>(3, lines.size()), lines.end()),
        {"command 0x54 \"T\"", track_line(0, image), "command 0x54 \"T\"", track_line(1, image),
         "stop-byte 0x09", "command 0x78 \"x\"", "command 0x01", "command 0x54 \"T\"",
         track_line(2, image), "command 0x45 \"E\"", "end-request", "end"});
}

TEST_F(Trace, ALostLineIsTracedWithTheSystemsWordsBeforeTheEnd) {
    const std::string image(kTrack, 'k');
    PtyPair& pty = set_up(image, "Traccia=trace.txt\r\n");
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    serve([&] {
        pty.send("T");
        pty.receive(1 + kTrack);
        pty.close_master();
    });
    const std::vector<TraceLine> lines = lines_of(slurp("trace.txt"));
    expect_opening(lines, image);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_TRUE(
        std::regex_match(lines[5].body, std::regex(R"(line-fault kind=hung-up reason="[^"?]*")")))
        << lines[5].body;
    EXPECT_EQ(lines[6].body, "end");
}

TEST_F(Trace, PastFourMebibytesTheFileBecomesDotOneOnceAndANewOneGoesOn) {
    const std::string earlier(WireTrace::kFileLimit - 150, 'o');
    spit("trace.txt", earlier);
    spit("trace.txt.1", "an older trace\n");
    const std::string image(100, 'i');
    PtyPair& pty = set_up(image, "Traccia=trace.txt\r\n");
    serve([&] { pty.send("E"); });

    const std::string kept = slurp("trace.txt.1");
    ASSERT_TRUE(kept.starts_with(earlier)) << "the older trace.txt.1 is replaced, once";
    EXPECT_LE(kept.size(), WireTrace::kFileLimit);
    std::vector<TraceLine> lines = lines_of(kept.substr(earlier.size()));
    const std::vector<TraceLine> rest = lines_of(slurp("trace.txt"));
    ASSERT_FALSE(lines.empty());
    ASSERT_FALSE(rest.empty());
    EXPECT_EQ(rest[0].body, "continued start-" + lines[0].body.substr(6));
    lines.insert(lines.end(), rest.begin() + 1, rest.end());
    expect_opening(lines, image);
    expect_events(
        std::vector<TraceLine>(lines.begin() + std::min<std::size_t>(3, lines.size()), lines.end()),
        {"command 0x45 \"E\"", "end-request", "end"});
}

// Where the trace comes from: the options' trace_file before the settings' Traccia, and no file
// at all without either. One that cannot be opened is told, and nothing is served.
struct Source {
    const char* name;
    const char* entries;
    std::optional<std::string> option;
    const char* listing;
    const char* message = nullptr;
};

void PrintTo(const Source& source, std::ostream* out) {
    *out << source.name;
}

class TraceSource : public Trace, public ::testing::WithParamInterface<Source> {};

TEST_P(TraceSource, NamesTheOneFileWritten) {
    std::filesystem::create_directory("traces");
    PtyPair& pty = set_up("abc", GetParam().entries);
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    const int code = GetParam().message ? RunProgram({.trace_file = GetParam().option})
                                        : run_with_remote(
                                              [&] {
                                                  wait_until_serving();
                                                  pty.send("E");
                                              },
                                              {.trace_file = GetParam().option});
    EXPECT_EQ(code, 0);
    EXPECT_EQ(listing(), GetParam().listing);
    for (const char* name : {"by-entry.txt", "by-option.txt"}) {
        if (exists(name)) {
            EXPECT_TRUE(slurp(name).ends_with(" end\n")) << name;
        }
    }
    if (GetParam().message) {
        ASSERT_EQ(m_script->shown.size(), 1u);
        EXPECT_EQ(m_script->shown[0].text, GetParam().message);
        EXPECT_FALSE(m_display->main_window_shown);
    } else {
        EXPECT_TRUE(m_script->shown.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Runs, TraceSource,
    ::testing::Values(
        Source{"NoEntry", "", std::nullopt, "KADRO.INI;image.vks;traces;"},
        Source{"BlankEntry", "Traccia=  \r\n", std::nullopt, "KADRO.INI;image.vks;traces;"},
        Source{"Entry", "Traccia=by-entry.txt\r\n", std::nullopt,
               "KADRO.INI;by-entry.txt;image.vks;traces;"},
        Source{"OptionBeforeEntry", "Traccia=by-entry.txt\r\n", "by-option.txt",
               "KADRO.INI;by-option.txt;image.vks;traces;"},
        Source{"EntryNamingAFolder", "Traccia=traces\r\n", std::nullopt,
               "KADRO.INI;image.vks;traces;",
               "Impossibile scrivere il file di traccia traces:\r\nIs a directory.\r\n\r\n"
               "L'invio non \xE8 stato avviato."},
        Source{"OptionInAMissingFolder", "", "missing/trace.txt", "KADRO.INI;image.vks;traces;",
               "Impossibile scrivere il file di traccia missing/trace.txt:\r\nNo such file or "
               "directory.\r\n\r\nL'invio non \xE8 stato avviato."}),
    [](const ::testing::TestParamInfo<Source>& info) { return info.param.name; });

}  // namespace
}  // namespace kadro::test
