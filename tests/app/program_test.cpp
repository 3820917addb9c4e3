// The whole program end to end, headless, against a pseudo-terminal with the remote machine
// played on its far end: the wire protocol byte for byte, the log, the ways a run ends, the
// settings file and the port failures.

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "app/image_preparation.h"
#include "app/main_program.h"
#include "comm/serial_port.h"
#include "platform/window_system/window_system.h"
#include "testing/cpu_time.h"
#include "testing/unprivileged_child.h"
#include "tests/app/program_fixture.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using platform::VK_ESCAPE;
using platform::VK_F4;

constexpr std::size_t kTrack = 4608;
constexpr std::size_t kAnswer = 1 + kTrack;

// An image whose every 4608-byte block differs from every other, byte values all over 0..255.
std::string make_image(std::size_t size) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i / kTrack) * 31 + i * 7 + (i >> 9));
    }
    return image;
}

const std::string kWaiting = "Waiting command (ESC to exit)...\r\n";

// The line of the k-th track request of a run (k from 0).
std::string sending_line(int k) {
    return "Sending sectors " + std::to_string(18 * k - 1) + " to " + std::to_string(18 * k + 16) +
           "\r\n";
}

// The log of a run that answered `tracks` requests after one waiting line.
std::string log_of(int tracks) {
    std::string log = kWaiting;
    for (int k = 0; k < tracks; ++k) {
        log += sending_line(k);
    }
    return log;
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

// The bytes a remote machine should get for the first `count` track requests.
std::string expected_answers(const std::string& tracks, std::size_t count) {
    std::string wire;
    for (std::size_t k = 0; k < count; ++k) {
        wire += '\0';
        wire += tracks.substr(k * kTrack, kTrack);
    }
    return wire;
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
    PtyPair& pty = set_up_run(image);
    std::vector<std::string> answers;
    std::string after_exhausted;
    int code = serve([&] {
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
    EXPECT_EQ(m_display->log_text, log_of(162));
}

TEST_F(Program, EachTrackFollowsItsLeadInByteAfterAPause) {
    const std::string image = make_image(184320);
    PtyPair& pty = set_up_run(image);
    std::string answers;
    std::vector<std::chrono::steady_clock::duration> gaps;
    serve([&] {
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
    EXPECT_TRUE(answers == expected_answers(image, 3));
    // The program pauses 10 ms between the two. A far end that is slow to read the lead-in
    // sees a shorter gap, so the bound is lenient and one of three gaps must reach it.
    ASSERT_EQ(gaps.size(), 3u);
    const auto longest = *std::max_element(gaps.begin(), gaps.end());
    EXPECT_GE(longest, 5ms) << "longest gap between the lead-in and the track: "
                            << std::chrono::duration<double, std::milli>(longest).count() << " ms";
}

TEST_F(Program, TheMainWindowIsCentredWithA502PixelClientArea) {
    PtyPair& pty = set_up_run(make_image(100));
    serve([&] { pty.send("E"); });
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
    PtyPair& pty = set_up_run(image);
    std::size_t count = (tracks.size() + kTrack - 1) / kTrack;
    std::vector<std::string> answers;
    serve([&] {
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

// Bytes that arrive together: each T is answered with its track and logged, E ends serving (a T
// after it is never answered), anything else is dropped without a word, and the waiting line is
// logged once however many requests come at once.
struct Burst {
    const char* name;
    std::string_view sent;
    int answered;
};

// Named by its row, so that test names do not carry the row's addresses.
void PrintTo(const Burst& burst, std::ostream* out) {
    *out << burst.name;
}

class Bursts : public ProgramTest, public ::testing::WithParamInterface<Burst> {};

TEST_P(Bursts, AreHandledInOrderWithALogLineForEachTrack) {
    const std::string image = make_image(184320);
    PtyPair& pty = set_up_run(image);
    const std::size_t answered = static_cast<std::size_t>(GetParam().answered);
    std::string answers;
    std::string extra;
    serve([&] {
        pty.send(GetParam().sent);
        answers = pty.receive(answered * kAnswer);
        extra = pty.receive(1, 300);
        if (GetParam().sent.find('E') == std::string_view::npos) {
            pty.send("E");  // a burst with an E must end the run by itself
        }
    });
    EXPECT_EQ(answers, expected_answers(image, answered));
    EXPECT_EQ(extra, "");
    EXPECT_EQ(m_display->log_text, log_of(GetParam().answered));
}

INSTANTIATE_TEST_SUITE_P(
    Sent, Bursts,
    ::testing::Values(Burst{"CommandsAfterAnEAreNotServed", "TET", 1},
                      Burst{"OtherBytesAreDroppedWithoutAnswerOrLogLine",
                            std::string_view("te\x00\xFFXT", 6), 1},
                      Burst{"TwoRequestsGetTwoAnswersAndOneWaitingLine", "TT", 2}),
    [](const ::testing::TestParamInfo<Burst>& info) { return info.param.name; });

TEST_F(Program, EscapeHeldWhileWaitingSendsOneStopByteAndEndsTheRun) {
    PtyPair& pty = set_up_run(make_image(184320));
    std::string first;
    std::string stop;
    std::string after;
    int code = serve([&] {
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
    EXPECT_EQ(m_display->log_text, log_of(1));
    EXPECT_TRUE(port_is_free());
}

TEST_F(Program, AnEscapeReleasedBeforeTheLoopsLastLookKeepsItServing) {
    const std::string image = make_image(184320);
    PtyPair& pty = set_up_run(image);
    std::string quiet;
    std::string first;
    std::string stop;
    std::string second;
    int code = serve([&] {
        // Seen by the wait only, released before the look after it: nothing is sent. The wait
        // sleeps until something arrives, so an ignored byte wakes it to look at the key.
        m_display->escape_polls_held = 1;
        pty.send("x");
        quiet = pty.receive(1, 300);
        pty.send("T");
        first = pty.receive(1 + kTrack);
        // Seen by the wait and the look after it, released before the loop's first test: the
        // stop byte goes out and serving goes on with a new waiting line.
        m_display->escape_polls_held = 2;
        pty.send("x");
        stop = pty.receive(1);
        pty.send("T");
        second = pty.receive(1 + kTrack);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(quiet, "");
    EXPECT_TRUE(first == expected_answers(image, 1));
    EXPECT_EQ(stop, "\x09");
    ASSERT_EQ(second.size(), 1 + kTrack) << "the loop ended on the stop byte instead of serving on";
    EXPECT_TRUE(second == expected_answers(image, 2).substr(kAnswer));
    EXPECT_EQ(m_display->log_text,
              "Waiting command (ESC to exit)...\r\n"
              "Sending sectors -1 to 16\r\n"
              "Waiting command (ESC to exit)...\r\n"
              "Sending sectors 17 to 34\r\n");
}

TEST_F(Program, EscapeHeldWhenServingStartsLogsAndSendsNothing) {
    PtyPair& pty = set_up_run(make_image(184320));
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
    PtyPair& pty = set_up_run(make_image(184320));
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
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_TRUE(m_script->shown[0].text.starts_with(
        "Errore di apertura della porta di comunicazione (/dev/kadro-no-such-port).\r\n"));
    EXPECT_EQ(m_script->shown[0].caption, "Attenzione");
    EXPECT_FALSE(m_display->main_window_shown);
}

TEST_F(Program, APortHeldByAnotherProgramIsReportedTheSameWay) {
    PtyPair& pty = set_up_run(make_image(100));
    PortHandle holder = OPENCOMM(pty.path());
    ASSERT_GE(holder, 0);
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    EXPECT_EQ(RunProgram(), 0);
    CLOSECOMM(holder);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_TRUE(m_script->shown[0].text.starts_with(
        "Errore di apertura della porta di comunicazione (" + pty.path() + ").\r\n"));
    EXPECT_FALSE(m_display->main_window_shown);
}

TEST_F(Program, WithoutSettingsTheDefaultPortIsWrittenAndNamedInTheCaption) {
    use_image(make_image(100));
    // COM1 is this machine's /dev/ttyS0, which a test must never open (on CI machines it can be
    // a console): the child sees a /sys in which the serial core found no hardware behind it
    // (4:64), so the program refuses it unopened, with its one box.
    const std::string entry = m_dir + "/sys/dev/char/4:64";
    std::filesystem::create_directories(entry);
    std::filesystem::create_directories(m_dir + "/sys/class/tty");
    spit(entry + "/type", "0\n");
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    const int status = RunInChild([&] {
        if (!MountOverSys(m_dir + "/sys")) {
            return 120;
        }
        const bool refused =
            RunProgram() == 0 && m_script->shown.size() == 1 && !m_display->main_window_shown;
        for (const auto& [hwnd, caption] : m_display->captions) {
            if (caption.starts_with("KADRO")) {
                spit("caption", caption);
            }
        }
        return refused ? 0 : 1;
    });
    if (status == 120) {
        GTEST_SKIP() << "no mount namespace (needs root or user namespaces, one thread)";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    ExpectMainCaption(slurp("caption"), "COM1");
}

TEST_F(Program, CancelInTheChooserEndsWithoutWindowOrSettingsFile) {
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(m_display->chooser_requests.size(), 1u);
    const auto& request = m_display->chooser_requests[0];
    EXPECT_EQ(request.title, "Seleziona immagine da inviare");
    EXPECT_EQ(request.initial_dir, std::filesystem::current_path().string());
    EXPECT_FALSE(exists("KADRO.INI"));
    EXPECT_FALSE(m_display->main_window_shown);
    EXPECT_TRUE(m_script->shown.empty());
}

// ---- images that cannot be read, and accented names ----------------------------------------

struct ChosenName {
    const char* on_disk;  // UTF-8, as the file system holds it
};

class AccentedName : public ProgramTest, public ::testing::WithParamInterface<ChosenName> {};

TEST_P(AccentedName, PickedInTheChooserTheImageIsServedByteForByte) {
    const std::string image = make_image(2 * kTrack + 100);
    PtyPair& pty = set_up_run(image, GetParam().on_disk);
    std::vector<std::string> answers;
    int code = serve([&] {
        answers = fetch_tracks(pty, image, 3);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(m_script->shown.empty());
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0] + answers[1] + answers[2], expected_answers(image, 3));
}

INSTANTIATE_TEST_SUITE_P(Names, AccentedName,
                         ::testing::Values(ChosenName{"d\xC3\xACsco \xC3\xA8.vks"},
                                           ChosenName{"caf\xC3\xA9.vks"},
                                           ChosenName{"prezzo \xE2\x82\xAC.vks"}));

struct Unreadable {
    const char* on_disk;  // UTF-8
    const char* shown;    // the same name in the operator's code page
    enum class Kind { kMissing, kDirectory, kFifo } kind;
    const char* reason;
};

class UnreadableImage : public ProgramTest, public ::testing::WithParamInterface<Unreadable> {};

TEST_P(UnreadableImage, IsReportedWithTheSystemsReasonAndNothingIsServed) {
    const Unreadable& c = GetParam();
    const std::string path = m_dir + "/" + c.on_disk;
    if (c.kind == Unreadable::Kind::kDirectory) {
        std::filesystem::create_directory(path);
    } else if (c.kind == Unreadable::Kind::kFifo) {
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    }
    m_display->image = path;
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_EQ(m_script->shown[0].text,
              "Impossibile leggere l'immagine " + m_dir + "/" + c.shown + ":\r\n" + c.reason + ".");
    EXPECT_EQ(m_script->shown[0].caption, "Attenzione");
    EXPECT_FALSE(m_display->main_window_shown);
    for (const auto& [hwnd, caption] : m_display->captions) {
        EXPECT_FALSE(caption.starts_with("KADRO")) << "no main window was built";
    }
    EXPECT_FALSE(exists("KADRO.INI")) << "nothing was written";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreadableImage,
    ::testing::Values(Unreadable{"nessuna.vks", "nessuna.vks", Unreadable::Kind::kMissing,
                                 "No such file or directory"},
                      Unreadable{"mancante \xC3\xA8.vks", "mancante \xE8.vks",
                                 Unreadable::Kind::kMissing, "No such file or directory"},
                      Unreadable{"cartella.vks", "cartella.vks", Unreadable::Kind::kDirectory,
                                 "Is a directory"},
                      Unreadable{"coda.vks", "coda.vks", Unreadable::Kind::kFifo, "Is a FIFO"}));

// ---- a line that stops taking data or is hung up ------------------------------------------

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(Program, ARemoteThatStopsReadingFor9SecondsGetsEveryQueuedTrackWhole) {
    const std::string image = make_image(40 * kTrack);
    PtyPair& pty = set_up_run(image);
    std::string wire;
    int code = serve([&] {
        pty.send(std::string(30, 'T'));
        wire = pty.receive(kAnswer);
        std::this_thread::sleep_for(9s);
        wire += pty.receive(29 * kAnswer, 15000);
        pty.send("E");
    });
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(wire == expected_answers(image, 30)) << "received " << wire.size() << " bytes";
    EXPECT_EQ(count_of(m_display->log_text, "Sending sectors "), 30u);
    EXPECT_EQ(count_of(m_display->log_text, "not sent"), 0u);
    EXPECT_TRUE(m_script->shown.empty());
}

TEST_F(Program, ALineThatTakesNothingFor10SecondsStopsServingAfterTheCutTrack) {
    const std::string image = make_image(40 * kTrack);
    PtyPair& pty = set_up_run(image);
    std::thread far_end([&] {
        wait_until_serving();
        pty.send(std::string(30, 'T'));  // and never reads again while the program runs
    });
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    const int code = RunProgram();
    far_end.join();
    const std::string wire = pty.receive(30 * kAnswer, 300);
    EXPECT_EQ(code, 0);

    // Every track the log calls sent arrived whole; the cut one is the last thing on the line.
    const std::size_t logged = count_of(m_display->log_text, "Sending sectors ");
    ASSERT_GE(logged, 1u);
    const std::size_t claimed = logged - 1;
    const int first = 18 * static_cast<int>(claimed) - 1;
    const std::string range = std::to_string(first) + " to " + std::to_string(first + 17);
    EXPECT_TRUE(m_display->log_text.ends_with(
        "Sending sectors " + range + "\r\nSectors " + range +
        " not sent: the line took no data for 10 seconds. Serving stopped.\r\n"))
        << m_display->log_text;
    EXPECT_GE(wire.size(), claimed * kAnswer);
    EXPECT_LT(wire.size(), logged * kAnswer);
    EXPECT_TRUE(wire == expected_answers(image, logged).substr(0, wire.size()))
        << "no track follows the cut one";

    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_EQ(m_script->shown[0].text,
              "Settori " + std::to_string(first) + " - " + std::to_string(first + 17) +
                  " non inviati:\r\nla linea non accetta dati da 10 secondi.\r\n\r\nL'invio "
                  "\xE8 terminato.");
    EXPECT_TRUE(port_is_free());
}

TEST_F(Program, AHangUpWhileIdleIsShownWithinASecondAndOkEndsTheRun) {
    const std::string image = make_image(3 * kTrack);
    PtyPair& pty = set_up_run(image);
    std::chrono::steady_clock::time_point hung_up;
    std::chrono::steady_clock::time_point shown;
    double cpu_while_shown = -1;
    std::thread answer;
    m_script->answers.push_back(BoxAnswer::run([&](platform::HWND box) {
        shown = std::chrono::steady_clock::now();
        // Hold the pop-up open for a while and see what the process spends meanwhile.
        answer = std::thread([&, box] {
            const double before = process_cpu_seconds();
            std::this_thread::sleep_for(500ms);
            cpu_while_shown = process_cpu_seconds() - before;
            platform::PostMessage(box, platform::WM_COMMAND, platform::IDOK, 0);
        });
    }));
    const int code = serve([&] {
        EXPECT_EQ(fetch_tracks(pty, image, 1)[0], expected_answers(image, 1));
        std::this_thread::sleep_for(200ms);
        hung_up = std::chrono::steady_clock::now();
        pty.close_master();
    });
    if (answer.joinable()) {
        answer.join();
    }
    EXPECT_EQ(code, 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_LT(shown - hung_up, 1s);
    EXPECT_GE(cpu_while_shown, 0.0);
    EXPECT_LT(cpu_while_shown, 0.1) << "the process should rest while the pop-up waits";
    EXPECT_TRUE(m_display->log_text.starts_with(kWaiting + sending_line(0) +
                                                "Line lost: the line was hung up"))
        << m_display->log_text;
    EXPECT_TRUE(m_display->log_text.ends_with(". Serving stopped.\r\n"));
    EXPECT_TRUE(m_script->shown[0].text.starts_with(
        "Collegamento con la macchina remota perso:\r\nla linea \xE8 stata chiusa"))
        << m_script->shown[0].text;
}

TEST_F(Program, AHangUpDuringATrackStopsServingAndEscapeOnThePopUpEndsTheRun) {
    const std::string image = make_image(40 * kTrack);
    PtyPair& pty = set_up_run(image);
    std::atomic<std::chrono::steady_clock::rep> hung_up{0};
    std::chrono::steady_clock::duration delay{};
    m_script->answers.push_back(BoxAnswer::run([&](platform::HWND) {
        delay = std::chrono::steady_clock::now().time_since_epoch() -
                std::chrono::steady_clock::duration(hung_up.load());
        platform::InjectKeyDown(VK_ESCAPE, 27);
        platform::InjectKeyUp(VK_ESCAPE);
    }));
    const int code = serve([&] {
        pty.send(std::string(30, 'T'));
        // Nothing is read, so the program's write waits on a full line when it is hung up.
        std::this_thread::sleep_for(1s);
        hung_up = std::chrono::steady_clock::now().time_since_epoch().count();
        pty.close_master();
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_LT(delay, 1s);
    EXPECT_EQ(m_script->unanswered, 0);
    const std::size_t logged = count_of(m_display->log_text, "Sending sectors ");
    ASSERT_GE(logged, 1u);
    const int first = 18 * static_cast<int>(logged - 1) - 1;
    EXPECT_NE(m_display->log_text.find("Sending sectors " + std::to_string(first) + " to " +
                                       std::to_string(first + 17) + "\r\nSectors " +
                                       std::to_string(first) + " to " + std::to_string(first + 17) +
                                       " not sent: the line was hung up"),
              std::string::npos)
        << m_display->log_text;
    EXPECT_TRUE(m_script->shown[0].text.starts_with("Settori " + std::to_string(first) + " - " +
                                                    std::to_string(first + 17) +
                                                    " non inviati:\r\nla linea \xE8 stata chiusa"))
        << m_script->shown[0].text;
}

TEST_F(Program, AHangUpAfterARefusedEndIsStillShownAndOkEndsTheRun) {
    PtyPair& pty = set_up_run(make_image(kTrack));
    platform::SetAsyncKeyState(VK_F4, true);
    m_script->answers.push_back(BoxAnswer::button(platform::IDOK));
    const int code = serve([&] {
        pty.send("E");  // refused while F4 is held: the window stays, serving has ended
        pty.receive(1, 300);
        platform::SetAsyncKeyState(VK_F4, false);
        pty.close_master();
    });
    EXPECT_EQ(code, 0);
    ASSERT_EQ(m_script->shown.size(), 1u);
    EXPECT_TRUE(m_script->shown[0].text.starts_with("Collegamento con la macchina remota perso:"));
    EXPECT_TRUE(m_display->log_text.starts_with(kWaiting + "Line lost: the line was hung up"))
        << m_display->log_text;
}

}  // namespace
}  // namespace kadro::test
