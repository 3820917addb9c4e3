// The whole program end to end, headless, against a pseudo-terminal with the remote machine
// played on its far end: the wire protocol byte for byte, the log, the ways a run ends, the
// settings file and the port failures.

#include <algorithm>
#include <atomic>
#include <chrono>

#include "app/image_preparation.h"
#include "app/main_program.h"
#include "comm/serial_port.h"
#include "program_fixture.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using platform::VK_ESCAPE;
using platform::VK_F4;

constexpr std::size_t kTrack = 4608;

// An image whose every 4608-byte block differs from every other, byte values all over 0..255.
std::string make_image(std::size_t size) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i / kTrack) * 31 + i * 7 + (i >> 9));
    }
    return image;
}

const std::string kWaiting = "Waiting command (ESC to exit)...\r\n";
const std::string kFirstTrackLine = "Sending sectors -1 to 16\r\n";
const std::string kSecondTrackLine = "Sending sectors 17 to 34\r\n";

// The line of the k-th track request of a run (k from 0).
std::string sending_line(int k) {
    return "Sending sectors " + std::to_string(18 * k - 1) + " to " + std::to_string(18 * k + 16) +
           "\r\n";
}

// The lines of the log without their CR LF.
std::vector<std::string> lines_of(const std::string& log) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < log.size();) {
        std::size_t end = log.find("\r\n", at);
        if (end == std::string::npos) {
            lines.push_back(log.substr(at));
            break;
        }
        lines.push_back(log.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// The caption: "KADRO 1.00", one blank, the maker's notice (one short line), two blanks and the
// port with the line settings in brackets.
void ExpectMainCaption(const std::string& caption, const std::string& port) {
    const std::string head = "KADRO 1.00 ";
    const std::string tail = "  (" + port + ":57600,N,8,1)";
    ASSERT_TRUE(caption.starts_with(head)) << caption;
    ASSERT_TRUE(caption.ends_with(tail)) << caption;
    ASSERT_GT(caption.size(), head.size() + tail.size()) << "no maker's notice: " << caption;
    const std::string notice =
        caption.substr(head.size(), caption.size() - head.size() - tail.size());
    EXPECT_NE(notice.front(), ' ') << caption;
    EXPECT_NE(notice.back(), ' ') << caption;
    EXPECT_EQ(notice.find_first_of("\r\n"), std::string::npos) << caption;
}

// The far end asks for `requests` tracks, one at a time, and returns each answer.
std::vector<std::string> fetch_tracks(const PtyPair& pty, const std::string& track_image,
                                      std::size_t requests) {
    std::vector<std::string> answers;
    for (std::size_t k = 0; k < requests; ++k) {
        std::size_t offset = k * kTrack;
        std::size_t data =
            offset < track_image.size() ? std::min(kTrack, track_image.size() - offset) : 0;
        pty.send("T");
        answers.push_back(pty.receive(1 + data));
    }
    return answers;
}

class Program : public ProgramTest {};

TEST_F(Program, ServesAFullDoubleSidedImageEvenBlocksFirstAndLogsEveryTrack) {
    std::string image = make_image(737280);
    std::string tracks = PrepareTrackImage(image);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::vector<std::string> answers;
    std::string after_exhausted;
    int code = run_with_remote([&] {
        wait_until_serving();
        answers = fetch_tracks(pty, tracks, 162);
        after_exhausted = pty.receive(1, 200);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(answers.size(), 162u);
    for (std::size_t k = 0; k < 160; ++k) {
        std::size_t block = k < 80 ? 2 * k : 2 * (k - 80) + 1;
        ASSERT_EQ(answers[k], std::string(1, '\0') + image.substr(block * kTrack, kTrack))
            << "track " << k;
    }
    EXPECT_EQ(answers[160], std::string(1, '\0')) << "an exhausted image sends the lead-in alone";
    EXPECT_EQ(answers[161], std::string(1, '\0'));
    EXPECT_EQ(after_exhausted, "");

    const std::vector<std::string> lines = lines_of(m_display->log_text);
    ASSERT_EQ(lines.size(), 163u) << "one waiting line and 162 track lines";
    EXPECT_EQ(lines[0], "Waiting command (ESC to exit)...");
    EXPECT_EQ(lines[1], "Sending sectors -1 to 16");
    EXPECT_EQ(lines[2], "Sending sectors 17 to 34");
    EXPECT_EQ(lines[3], "Sending sectors 35 to 52");
    EXPECT_EQ(lines[160], "Sending sectors 2861 to 2878");
    EXPECT_EQ(lines[161], "Sending sectors 2879 to 2896") << "the counter goes on past the image";
    EXPECT_EQ(lines[162], "Sending sectors 2897 to 2914");
    std::string log = kWaiting;
    for (int k = 0; k < 162; ++k) {
        log += sending_line(k);
    }
    EXPECT_EQ(m_display->log_text, log);
}

TEST_F(Program, EachTrackFollowsItsLeadInByteAfterAPause) {
    std::string image = make_image(184320);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::string answers;
    std::vector<std::chrono::steady_clock::duration> gaps;
    run_with_remote([&] {
        wait_until_serving();
        for (int k = 0; k < 3; ++k) {
            pty.send("T");
            answers += pty.receive(1);
            const auto lead_in_seen = std::chrono::steady_clock::now();
            answers += pty.receive(1);
            gaps.push_back(std::chrono::steady_clock::now() - lead_in_seen);
            answers += pty.receive(kTrack - 1);
        }
        pty.send("E");
    });
    EXPECT_TRUE(answers == std::string(1, '\0') + image.substr(0, kTrack) + std::string(1, '\0') +
                               image.substr(kTrack, kTrack) + std::string(1, '\0') +
                               image.substr(2 * kTrack, kTrack));
    // The program pauses 10 ms between the two. A far end that is slow to read the lead-in
    // sees a shorter gap, so the bound is lenient and one of three gaps must reach it.
    ASSERT_EQ(gaps.size(), 3u);
    const auto longest = *std::max_element(gaps.begin(), gaps.end());
    EXPECT_GE(longest, 5ms) << "longest gap between the lead-in and the track: "
                            << std::chrono::duration<double, std::milli>(longest).count() << " ms";
}

TEST_F(Program, TheMainWindowIsCentredWithA502PixelClientArea) {
    use_image(make_image(100));
    PtyPair pty;
    write_settings(pty.path());
    run_with_remote([&] {
        wait_until_serving();
        pty.send("E");
    });
    ASSERT_TRUE(m_display->main_window_shown);
    const platform::RECT& r = m_display->main_rect;
    EXPECT_EQ(r.width(), 502 + 2 * platform::kFrameWidth);
    EXPECT_EQ(r.height(), 502 + platform::kCaptionHeight + 2 * platform::kFrameWidth);
    EXPECT_EQ(r.left, 1024 / 2 - r.width() / 2);
    EXPECT_EQ(r.top, 768 / 2 - r.height() / 2);
    ExpectMainCaption(m_display->main_caption, pty.path());
}

struct Layout {
    std::size_t size;
    bool end_mark;
};

class WorkedLayout : public ProgramTest, public ::testing::WithParamInterface<Layout> {};

TEST_P(WorkedLayout, TheWireCarriesThePreparedImageByteForByte) {
    Layout layout = GetParam();
    std::string image = make_image(layout.size);
    if (layout.end_mark) {
        image.back() = '\x1A';
    }
    std::string tracks =
        PrepareTrackImage(layout.end_mark ? image.substr(0, image.size() - 1) : image);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::size_t count = (tracks.size() + kTrack - 1) / kTrack;
    std::vector<std::string> answers;
    run_with_remote([&] {
        wait_until_serving();
        answers = fetch_tracks(pty, tracks, count + 1);
        pty.send("E");
    });
    std::string wire;
    for (std::size_t k = 0; k < count; ++k) {
        ASSERT_FALSE(answers[k].empty());
        EXPECT_EQ(answers[k][0], '\0');
        wire += answers[k].substr(1);
    }
    EXPECT_EQ(wire, tracks);
    EXPECT_EQ(answers[count], std::string(1, '\0'));
}

INSTANTIATE_TEST_SUITE_P(Sizes, WorkedLayout,
                         ::testing::Values(Layout{184320, false}, Layout{184321, false},
                                           Layout{200000, false}, Layout{737280, true},
                                           Layout{184321, true}));

TEST_F(Program, CommandsArrivingTogetherAreHandledInOrderAndEEndsServing) {
    std::string image = make_image(184320);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::string answer;
    std::string rest;
    run_with_remote([&] {
        wait_until_serving();
        pty.send("TET");
        answer = pty.receive(1 + kTrack);
        rest = pty.receive(1, 300);
    });
    EXPECT_EQ(answer, std::string(1, '\0') + image.substr(0, kTrack));
    EXPECT_EQ(rest, "") << "the T after the E is never answered";
    EXPECT_EQ(m_display->log_text, kWaiting + kFirstTrackLine);
}

TEST_F(Program, OtherBytesAreDroppedWithoutAnswerOrLogLine) {
    std::string image = make_image(184320);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::string answer;
    std::string extra;
    run_with_remote([&] {
        wait_until_serving();
        pty.send(std::string("te\x00\xFFX", 5));
        pty.send("T");
        answer = pty.receive(1 + kTrack);
        extra = pty.receive(1, 200);
        pty.send("E");
    });
    EXPECT_EQ(answer, std::string(1, '\0') + image.substr(0, kTrack));
    EXPECT_EQ(extra, "");
    EXPECT_EQ(m_display->log_text, kWaiting + kFirstTrackLine);
}

TEST_F(Program, TwoRequestsAtOnceGetTwoAnswersAndNoSecondWaitingLine) {
    std::string image = make_image(184320);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::string answers;
    run_with_remote([&] {
        wait_until_serving();
        pty.send("TT");
        answers = pty.receive(2 * (1 + kTrack));
        pty.send("E");
    });
    EXPECT_EQ(answers, std::string(1, '\0') + image.substr(0, kTrack) + std::string(1, '\0') +
                           image.substr(kTrack, kTrack));
    EXPECT_EQ(m_display->log_text, kWaiting + kFirstTrackLine + kSecondTrackLine);
}

TEST_F(Program, EscapeHeldWhileWaitingSendsOneStopByteAndEndsTheRun) {
    use_image(make_image(184320));
    PtyPair pty;
    write_settings(pty.path());
    std::string first;
    std::string stop;
    std::string after;
    int code = run_with_remote([&] {
        wait_until_serving();
        pty.send("T");
        first = pty.receive(1 + kTrack);
        platform::InjectKeyDown(VK_ESCAPE, 27);
        stop = pty.receive(1);
        after = pty.receive(1, 300);
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(first.size(), 1 + kTrack);
    EXPECT_EQ(stop, "\x09");
    EXPECT_EQ(after, "");
    EXPECT_EQ(m_display->log_text, kWaiting + kFirstTrackLine);
    PortHandle again = OPENCOMM(pty.path());
    EXPECT_GE(again, 0) << "the program closed its port";
    CLOSECOMM(again);
}

TEST_F(Program, AnEscapeReleasedBeforeTheLoopsLastLookKeepsItServing) {
    std::string image = make_image(184320);
    use_image(image);
    PtyPair pty;
    write_settings(pty.path());
    std::string quiet;
    std::string first;
    std::string stop;
    std::string second;
    int code = run_with_remote([&] {
        wait_until_serving();
        // Seen by the wait only, released before the look after it: nothing is sent.
        m_display->escape_polls_held = 1;
        quiet = pty.receive(1, 300);
        pty.send("T");
        first = pty.receive(1 + kTrack);
        // Seen by the wait and the look after it, released before the loop's first test: the
        // stop byte goes out and serving goes on with a new waiting line.
        m_display->escape_polls_held = 2;
        stop = pty.receive(1);
        pty.send("T");
        second = pty.receive(1 + kTrack);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(quiet, "");
    EXPECT_TRUE(first == std::string(1, '\0') + image.substr(0, kTrack));
    EXPECT_EQ(stop, "\x09");
    ASSERT_EQ(second.size(), 1 + kTrack) << "the loop ended on the stop byte instead of serving on";
    EXPECT_TRUE(second == std::string(1, '\0') + image.substr(kTrack, kTrack));
    EXPECT_EQ(m_display->log_text,
              "Waiting command (ESC to exit)...\r\n"
              "Sending sectors -1 to 16\r\n"
              "Waiting command (ESC to exit)...\r\n"
              "Sending sectors 17 to 34\r\n");
}

TEST_F(Program, EscapeHeldWhenServingStartsLogsAndSendsNothing) {
    use_image(make_image(184320));
    PtyPair pty;
    write_settings(pty.path());
    platform::SetAsyncKeyState(VK_ESCAPE, true);
    std::string line;
    int code = run_with_remote([&] {
        line = pty.receive(1, 300);
        platform::InjectKeyDown(VK_ESCAPE, 27);  // the held key repeats
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(m_display->main_window_shown);
    EXPECT_EQ(line, "");
    EXPECT_EQ(m_display->log_text, "");
}

TEST_F(Program, EndRefusedWhileF4IsHeldLeavesTheWindowOpenUntilEscape) {
    use_image(make_image(184320));
    PtyPair pty;
    write_settings(pty.path());
    platform::SetAsyncKeyState(VK_F4, true);
    std::atomic<bool> ended{false};
    bool open_after_e = false;
    std::string sent;
    std::thread far_end([&] {
        wait_until_serving();
        pty.send("E");
        sent = pty.receive(1, 300);
        open_after_e = !ended;
        platform::SetAsyncKeyState(VK_F4, false);
        platform::InjectKeyDown(VK_ESCAPE, 27);
        platform::InjectKeyUp(VK_ESCAPE);
    });
    int code = RunProgram();
    ended = true;
    far_end.join();
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(open_after_e);
    EXPECT_EQ(sent, "") << "E is never answered";
    EXPECT_EQ(m_display->log_text, kWaiting);
}

TEST_F(Program, APortThatDoesNotExistIsReportedOnceAndNoWindowIsShown) {
    use_image(make_image(100));
    write_settings("/dev/kadro-no-such-port");
    m_script->answers.push_back(kadro::testing::BoxAnswer::button(platform::IDOK));
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_EQ(m_script->shown[0].text,
              "Errore di apertura della porta di comunicazione (/dev/kadro-no-such-port).");
    EXPECT_EQ(m_script->shown[0].caption, "Attenzione");
    EXPECT_FALSE(m_display->main_window_shown);
}

TEST_F(Program, APortHeldByAnotherProgramIsReportedTheSameWay) {
    use_image(make_image(100));
    PtyPair pty;
    write_settings(pty.path());
    PortHandle holder = OPENCOMM(pty.path());
    ASSERT_GE(holder, 0);
    m_script->answers.push_back(kadro::testing::BoxAnswer::button(platform::IDOK));
    EXPECT_EQ(RunProgram(), 0);
    CLOSECOMM(holder);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_EQ(m_script->shown[0].text,
              "Errore di apertura della porta di comunicazione (" + pty.path() + ").");
    EXPECT_FALSE(m_display->main_window_shown);
}

TEST_F(Program, WithoutSettingsTheDefaultPortIsWrittenAndNamedInTheCaption) {
    use_image(make_image(100));
    // COM1 may or may not open on this machine: answer its failure, or close its window.
    m_script->answers.push_back(kadro::testing::BoxAnswer::button(platform::IDOK));
    m_display->on_main_shown = [](platform::HWND) { platform::InjectKeyDown(VK_ESCAPE, 27); };
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(settings_file(), "[Impostazioni]\r\nPorta=COM1\r\n");
    std::string main_caption;
    for (const auto& [hwnd, caption] : m_display->captions) {
        if (caption.starts_with("KADRO")) {
            main_caption = caption;
        }
    }
    ExpectMainCaption(main_caption, "COM1");
}

TEST_F(Program, CancelInTheChooserEndsWithoutWindowOrSettingsFile) {
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(m_display->chooser_requests.size(), 1u);
    const auto& request = m_display->chooser_requests[0];
    EXPECT_EQ(request.title, "Seleziona immagine da inviare");
    EXPECT_EQ(request.initial_dir, std::filesystem::current_path().string());
    EXPECT_FALSE(std::filesystem::exists(m_dir / "KADRO.INI"));
    EXPECT_FALSE(m_display->main_window_shown);
    EXPECT_TRUE(m_script->shown.empty());
}

}  // namespace
}  // namespace kadro::test
