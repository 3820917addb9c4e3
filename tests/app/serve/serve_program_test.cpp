// kadro-serve run as a process in a scratch folder, serving over a pseudo-terminal whose far end
// the test plays: the wire byte for byte, the log on standard output, the messages and exit
// statuses, the ways a run is stopped, --again, and the status line on a terminal only.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/image_preparation.h"
#include "platform/serial_device.h"
#include "testing/pty_pair.h"
#include "testing/scratch_folder.h"
#include "testing/tcp_peer.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kTrack = 4608;
constexpr int kTracks = 40;
const std::string kWaitingText = "Waiting command (ESC to exit)...";
const std::string kWaiting = kWaitingText + "\n";

std::string sending_lines(int count) {
    std::string lines;
    for (int k = 0; k < count; ++k) {
        lines += "Sending sectors " + std::to_string(18 * k - 1) + " to " +
                 std::to_string(18 * k + 16) + "\n";
    }
    return lines;
}

// Where the program's standard streams go: two pipes, or a new terminal that becomes its
// controlling terminal (all three streams on it).
enum class Streams { Pipes, Terminal };

class ServeProgram : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        // 40 tracks, the last one short: one side, served as it stands.
        std::string image(39 * kTrack + 1000, '\0');
        for (std::size_t i = 0; i < image.size(); ++i) {
            image[i] = static_cast<char>(i * 7 + i / kTrack);
        }
        spit("image.vks", image);
        m_tracks = PrepareTrackImage(image);
    }

    void TearDown() override {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            finish();
        }
        ScratchFolder::TearDown();
    }

    void start(const std::vector<std::string>& args, Streams streams = Streams::Pipes) {
        std::vector<std::string> owned{KADRO_SERVE_PROGRAM};
        owned.insert(owned.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : owned) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2] = {-1, -1};
        int err[2] = {-1, -1};
        int terminal = -1;
        int terminal_end = -1;
        if (streams == Streams::Pipes) {
            ASSERT_EQ(::pipe2(out, O_CLOEXEC), 0);
            ASSERT_EQ(::pipe2(err, O_CLOEXEC), 0);
        } else {
            ASSERT_EQ(::openpty(&terminal, &terminal_end, nullptr, nullptr, nullptr), 0);
            termios mode{};
            ::tcgetattr(terminal, &mode);
            m_terminal_mode = mode;
        }
        m_pid = ::fork();
        ASSERT_GE(m_pid, 0);
        if (m_pid == 0) {
            // The far end is the test's alone: a copy in the program would keep the line up.
            for (int fd : {m_line.master(), m_line.slave(), terminal}) {
                ::close(fd);
            }
            if (streams == Streams::Pipes) {
                ::dup2(out[1], STDOUT_FILENO);
                ::dup2(err[1], STDERR_FILENO);
            } else {
                ::setsid();
                ::ioctl(terminal_end, TIOCSCTTY, 0);
                for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
                    ::dup2(terminal_end, fd);
                }
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        if (streams == Streams::Pipes) {
            ::close(out[1]);
            ::close(err[1]);
            m_drains.emplace_back(&ServeProgram::drain, this, out[0], &m_out);
            m_drains.emplace_back(&ServeProgram::drain, this, err[0], &m_err);
        } else {
            ::close(terminal_end);
            m_terminal = terminal;
            m_drains.emplace_back(&ServeProgram::drain, this, terminal, &m_out);
        }
    }

    // Waits for the program's end (killing it after 20 s, a failure) and for all its output.
    int finish() {
        int status = 0;
        for (int waited = 0; ::waitpid(m_pid, &status, WNOHANG) == 0; ++waited) {
            if (waited == 2000) {
                ADD_FAILURE() << "kadro-serve did not end";
                ::kill(m_pid, SIGKILL);
            }
            std::this_thread::sleep_for(10ms);
        }
        m_pid = -1;
        if (m_terminal >= 0) {
            termios now{};
            ::tcgetattr(m_terminal, &now);
            m_terminal_restored = now.c_lflag == m_terminal_mode.c_lflag;
        }
        for (std::thread& t : m_drains) {
            t.join();
        }
        m_drains.clear();
        if (m_terminal >= 0) {
            ::close(m_terminal);
            m_terminal = -1;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // Reads `fd` into *text until its end; a terminal ends with EIO once the program is gone.
    void drain(int fd, std::string* text) {
        char buffer[4096];
        for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                break;
            }
            const std::lock_guard lock(m_output_lock);
            text->append(buffer, static_cast<std::size_t>(n));
        }
    }

    // The far end asks for `count` tracks from `first` and checks each answer byte for byte.
    void fetch(int count, int first = 0) {
        for (int k = first; k < first + count; ++k) {
            m_line.send("T");
            const std::string expected =
                '\0' + m_tracks.substr(static_cast<std::size_t>(k) * kTrack, kTrack);
            ASSERT_EQ(m_line.receive(expected.size()), expected) << "track " << k;
        }
    }

    // Waits until the program has logged `text`.
    bool logged(const std::string& text) {
        for (int i = 0; i < 1000; ++i) {
            {
                const std::lock_guard lock(m_output_lock);
                if (m_out.find(text) != std::string::npos) {
                    return true;
                }
            }
            std::this_thread::sleep_for(10ms);
        }
        return false;
    }

    bool port_is_free() const { return platform::SerialDevice::open(m_line.path()).ok(); }

    PtyPair m_line;
    std::string m_tracks;
    pid_t m_pid = -1;
    int m_terminal = -1;
    termios m_terminal_mode{};
    bool m_terminal_restored = false;
    std::vector<std::thread> m_drains;
    std::mutex m_output_lock;  // m_out and m_err while the drains run
    std::string m_out;
    std::string m_err;
};

TEST_F(ServeProgram, ServesTheWholeImageFromThePortInKadroIniAndLogsOnAPipe) {
    const std::string settings = "[Impostazioni]\r\nPorta=" + m_line.path() + "\r\n";
    spit("KADRO.INI", settings);
    start({"image.vks"});
    ASSERT_TRUE(logged(kWaiting));
    fetch(kTracks);
    m_line.send("E");
    EXPECT_EQ(finish(), 0);
    // Only the log lines: no status line and no terminal control on a pipe.
    EXPECT_EQ(m_out, kWaiting + sending_lines(kTracks));
    EXPECT_EQ(m_err, "");
    EXPECT_EQ(m_line.receive(1, 200), "") << "nothing after E";
    EXPECT_EQ(slurp("KADRO.INI"), settings);
    EXPECT_TRUE(port_is_free());
}

TEST_F(ServeProgram, AgainServesTheNextSessionFromTheFirstTrackUntilStopped) {
    start({"--again", "--port", m_line.path(), "image.vks"});
    ASSERT_TRUE(logged(kWaiting));
    fetch(3);
    m_line.send("E");
    // The second session starts on the image prepared afresh.
    ASSERT_TRUE(logged(sending_lines(3) + kWaiting));
    fetch(2);
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(m_line.receive(2, 500), "\x09");
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(m_out, kWaiting + sending_lines(3) + kWaiting + sending_lines(2));
    EXPECT_TRUE(port_is_free());
}

// A listening TCP line: each session of --again is the next connection; the one before is gone.
TEST_F(ServeProgram, AgainOnAListenerServesTheNextConnectionAfterE) {
    start({"--again", "--trace", "trace.txt", "--port", "tcp-listen:0", "image.vks"});
    std::uint16_t port = 0;
    for (int i = 0; i < 1000 && port == 0; ++i) {
        std::this_thread::sleep_for(10ms);
        const std::lock_guard lock(m_output_lock);
        if (const auto at = m_err.find("listening on 127.0.0.1:"); at != std::string::npos) {
            port = static_cast<std::uint16_t>(std::stoi(m_err.substr(at + 23)));
        }
    }
    ASSERT_NE(port, 0) << m_err;
    const auto answer = [this](const TcpPeer& peer, int track) {
        peer.send("T");
        return peer.receive(kTrack + 1) ==
               '\0' + m_tracks.substr(static_cast<std::size_t>(track) * kTrack, kTrack);
    };
    TcpPeer first = TcpPeer::connect(port);
    EXPECT_TRUE(answer(first, 0));
    EXPECT_TRUE(answer(first, 1));
    first.send("E");
    EXPECT_EQ(first.receive(1), "") << "the session's connection is closed after E";
    TcpPeer second = TcpPeer::connect(port);
    EXPECT_TRUE(answer(second, 0)) << "the next connection starts from the first track";
    ::kill(m_pid, SIGTERM);
    EXPECT_EQ(second.receive(2, 2000), "\x09");
    EXPECT_EQ(finish(), 0);
    EXPECT_NE(slurp("trace.txt")
                  .find(" port name=\"tcp-listen:0\" device=\"tcp-listen:0 (port " +
                        std::to_string(port) + ")\""),
              std::string::npos);
}

// Each way the operator stops serving, on a terminal that is the program's controlling one.
struct Stop {
    const char* name;
    int signal;  // 0: Escape typed on the terminal
    bool during_track;
};

class ServeStop : public ServeProgram, public ::testing::WithParamInterface<Stop> {};

TEST_P(ServeStop, SendsOneStopByteAfterAnyTrackReleasesThePortAndRestoresTheTerminal) {
    const Stop stop = GetParam();
    start({"--trace", "trace.txt", "--port", m_line.path(), "image.vks"}, Streams::Terminal);
    ASSERT_TRUE(logged(kWaitingText));
    fetch(1);
    // On a terminal the status line shows the progress, redrawn in place.
    ASSERT_TRUE(logged("\rtrack 1 of 40 | 4608 bytes | "));
    // 38 tracks and a short one (39 lead-ins, 176104 bytes) take 31 s at 57600 baud.
    EXPECT_TRUE(logged(" elapsed | 0:31 left")) << "time left at 57600 baud";
    if (stop.during_track) {
        // Every track asked for and none read: the answers fill the terminal's buffers (a few
        // tracks) and the program waits inside a write when the stop comes.
        m_line.send(std::string(kTracks - 1, 'T'));
        std::this_thread::sleep_for(300ms);
    }
    if (stop.signal == 0) {
        ASSERT_EQ(::write(m_terminal, "\x1b", 1), 1);
    } else {
        ::kill(m_pid, stop.signal);
    }
    // Whole answers only, then the stop byte, once.
    const std::string wire = m_line.receive(m_tracks.size() + kTracks, 500);
    ASSERT_FALSE(wire.empty());
    const std::size_t answered = (wire.size() - 1) / (kTrack + 1);
    std::string expected;
    for (std::size_t k = 1; k <= answered; ++k) {
        expected += '\0' + m_tracks.substr(k * kTrack, kTrack);
    }
    EXPECT_EQ(wire, expected + "\x09") << answered << " answers";
    EXPECT_EQ(answered > 0, stop.during_track);
    EXPECT_EQ(finish(), 0);
    EXPECT_TRUE(port_is_free());
    EXPECT_TRUE(m_terminal_restored);
    // The trace is written out on this way to the end too.
    const std::string trace = slurp("trace.txt");
    EXPECT_NE(trace.find(" stop-byte 0x09\n"), std::string::npos) << trace;
    EXPECT_TRUE(trace.ends_with(" end\n")) << trace;
}

INSTANTIATE_TEST_SUITE_P(Ways, ServeStop,
                         ::testing::Values(Stop{"Escape", 0, false}, Stop{"SIGINT", SIGINT, false},
                                           Stop{"SIGTERM", SIGTERM, false},
                                           Stop{"SIGHUP", SIGHUP, false},
                                           Stop{"SIGINTDuringATrack", SIGINT, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ServeProgram, FailuresEndWithTheirMessageAndStatus) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const std::string port = m_line.path();
    const std::vector<Case> cases = {
        {{"--port", port, "missing.vks"}, 3, "kadro-serve: Impossibile leggere l'immagine missing"},
        {{"image.vks"}, 2, "kadro-serve: Nessuna porta di comunicazione indicata"},
        {{"--port", m_dir + "/no-device", "image.vks"},
         5,
         "kadro-serve: Errore di apertura della porta di comunicazione"},
        {{"--port", m_dir + "/no-device", "image.vks"},
         5,
         "kadro-serve: Indicare la porta da usare dopo --port."},
        {{"--trace", "missing/trace.txt", "--port", port, "image.vks"},
         7,
         "kadro-serve: Impossibile scrivere il file di traccia missing/trace.txt:"},
        {{"--port"}, 2, "kadro-serve: --port needs a port name"},
        {{"--port", port}, 2, "kadro-serve: no image named"},
    };
    for (const Case& c : cases) {
        m_out.clear();
        m_err.clear();
        start(c.args);
        EXPECT_EQ(finish(), c.status) << c.message;
        EXPECT_NE(m_err.find(c.message), std::string::npos) << m_err;
        const std::string text = c.message.substr(c.message.find(": ") + 2);
        EXPECT_EQ(m_err.find(text), m_err.rfind(text)) << "said once: " << m_err;
        EXPECT_EQ(m_out, "");
        EXPECT_EQ(listing(), "image.vks;") << "KADRO.INI is never written";
    }
    EXPECT_TRUE(port_is_free());
}

TEST_F(ServeProgram, ALostLineEndsWithAMessageAndItsStatus) {
    start({"--port", m_line.path(), "image.vks"});
    ASSERT_TRUE(logged(kWaiting));
    fetch(1);
    m_line.close_master();
    EXPECT_EQ(finish(), 6);
    EXPECT_NE(m_out.find("Line lost: "), std::string::npos) << m_out;
    EXPECT_NE(m_err.find("kadro-serve: Collegamento con la macchina remota perso:"),
              std::string::npos)
        << m_err;
}

}  // namespace
}  // namespace kadro::test
