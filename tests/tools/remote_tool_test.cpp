// The remote-machine simulator against the serial layer serving tracks the way the command
// loop does: "T" answered by 0x00, a pause and 4608 bytes, "E" ending the run.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include "testing/port_fixture.h"

extern char** environ;

namespace kadro::test {
namespace {

using namespace platform;

struct ToolRun {
    int exit_code = -1;
    std::string said;
};

class RemoteTool : public PortTest {
  protected:
    void SetUp() override {
        PortTest::SetUp();
        char dir[] = "/tmp/kadro-remote-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        m_dir = dir;
    }
    void TearDown() override {
        std::remove((m_dir + "/expected").c_str());
        ::rmdir(m_dir.c_str());
        PortTest::TearDown();
    }

    std::string write_expected(const std::string& bytes) {
        std::string path = m_dir + "/expected";
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    // Runs the tool on the far end of the line while this thread serves `image` through the
    // serial layer, until the tool has exited.
    ToolRun serve_while(const std::string& image, std::vector<std::string> args) {
        PortHandle port = open_port();
        set_line("57600,N,8,1");
        std::string input;
        std::string buffer(1000, ' ');
        m_on_notify = [&](PortHandle h) {
            ENABLECOMMNOTIFICATION(h, 0, 1, -1);
            input.append(buffer, 0, static_cast<std::size_t>(READCOMM(h, buffer)));
            ENABLECOMMNOTIFICATION(h, m_window, 1, -1);
        };
        ENABLECOMMNOTIFICATION(port, m_window, 1, -1);

        int err[2];
        EXPECT_EQ(::pipe(err), 0);
        std::string tool = std::string(KADRO_BINARY_DIR) + "/tools/remote/kadro-remote";
        args.insert(args.begin(), {tool, "--fd", std::to_string(m_pty.master())});
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        posix_spawn_file_actions_addclose(&actions, err[0]);
        pid_t child = 0;
        EXPECT_EQ(posix_spawn(&child, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ::close(err[1]);

        // The tool's last bytes may still be on their way through the line and the reader
        // thread when it exits. Once it has, a mark sent down the same line after them shows
        // that everything before it has been served.
        std::size_t next_track = 0;
        int status = 0;
        bool exited = false;
        bool drained = false;
        pump_until([&] {
            while (!input.empty()) {
                char command = input.front();
                input.erase(0, 1);
                if (command == 'T') {
                    WRITECOMM(port, std::string(1, '\0'));
                    Sleep(10);
                    WRITECOMM(port, std::string_view(image).substr(next_track * 4608, 4608));
                    ++next_track;
                } else if (command == 'E') {
                    m_got_end = true;
                } else if (command == kDrainMark && exited) {
                    drained = true;
                }
            }
            if (!exited && ::waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                m_pty.send(std::string(1, kDrainMark));
            }
            return drained;
        });
        ToolRun run;
        char text[4096];
        ssize_t n = 0;
        while ((n = ::read(err[0], text, sizeof text)) > 0) {
            run.said.append(text, static_cast<std::size_t>(n));
        }
        ::close(err[0]);
        run.exit_code = exited && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return run;
    }

    // A byte the tool never sends in these tests.
    static constexpr char kDrainMark = '#';

    std::string m_dir;
    bool m_got_end = false;
};

TEST_F(RemoteTool, BatchedRequestsReceiveTheImageAndEndTheRun) {
    const std::string image = pattern(4 * 4608, 1);
    ToolRun run = serve_while(image, {"--tracks", "4", "--batch", "2", "--end", "--expect",
                                      write_expected(image), "--timeout-ms", "10000"});
    EXPECT_EQ(run.exit_code, 0) << run.said;
    EXPECT_TRUE(m_got_end);
}

TEST_F(RemoteTool, ReportsTheFirstDifferingByte) {
    const std::string image = pattern(2 * 4608, 2);
    std::string expected = image;
    expected[5000] = static_cast<char>(expected[5000] ^ 0x55);
    ToolRun run = serve_while(
        image, {"--tracks", "2", "--expect", write_expected(expected), "--timeout-ms", "10000"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(run.said.find("first difference at byte 5000 (track 2, offset 392)"),
              std::string::npos)
        << run.said;
    EXPECT_FALSE(m_got_end);
}

}  // namespace
}  // namespace kadro::test
