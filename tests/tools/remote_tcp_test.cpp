// kadro-remote over TCP against the serial layer on loopback, on Linux and (under Wine) on
// Windows alike: the whole image byte for byte, answered the way the command loop answers, with
// the serial layer listening (two sessions in a row on the same port) and connecting.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/window.h"

namespace kadro::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr std::size_t kTrack = 4608;
constexpr std::size_t kTracks = 160;

// A window that listens for the first notification only; the bytes are left in the ring.
bool g_announced = false;

platform::LRESULT announced_procedure(platform::HWND hwnd, platform::UINT msg,
                                      platform::WPARAM wparam, platform::LPARAM lparam) {
    if (msg == platform::WM_COMMNOTIFY) {
        g_announced = ENABLECOMMNOTIFICATION(static_cast<PortHandle>(wparam), 0, 1, -1);
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

class RemoteOverTcp : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() /
                   ("kadro-tcp-" + std::to_string(Clock::now().time_since_epoch().count()));
        fs::create_directories(m_folder);
        for (std::size_t i = 0; i < kTrack * kTracks; ++i) {
            m_image.push_back(static_cast<char>(i * 7 + i / kTrack));
        }
        std::ofstream(m_folder / "expected.bin", std::ios::binary) << m_image;
    }
    void TearDown() override {
        CLOSECOMM(m_port);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    // kadro-remote (the build's, KADRO_REMOTE_FROM_TEST seen from the test's folder there)
    // fetching every track; its standard error comes through the stream. The shell's quoting
    // differs between systems, so the paths go unquoted: build and temporary folders have no
    // blanks.
    FILE* start_remote(const std::string& line) {
        fs::path program = fs::current_path() / KADRO_REMOTE_FROM_TEST;
        const std::string command =
            program.make_preferred().string() + " " + line +
            " --tracks 160 --batch 2 --end --quiet --timeout-ms 10000" + " --expect " +
            fs::path(m_folder / "expected.bin").make_preferred().string() + " 2>&1";
        return ::popen(command.c_str(), "r");
    }

    // Serves the image as the command loop does until the remote has sent "E" or gone, and
    // returns the count of tracks served.
    std::size_t serve() {
        std::size_t served = 0;
        const auto deadline = Clock::now() + 60s;
        std::string buffer(1000, ' ');
        while (Clock::now() < deadline && !GetCommLineFault(m_port)) {
            const std::string commands = buffer.substr(0, READCOMM(m_port, buffer));
            for (char command : commands) {
                if (command == 'T') {
                    WRITECOMM(m_port, std::string(1, '\0'));
                    std::this_thread::sleep_for(10ms);
                    WRITECOMM(m_port, std::string_view(m_image).substr(served++ * kTrack, kTrack));
                } else if (command == 'E') {
                    return served;
                }
            }
            if (commands.empty()) {
                std::this_thread::sleep_for(1ms);
            }
        }
        return served;
    }

    using Clock = std::chrono::steady_clock;
    fs::path m_folder;
    std::string m_image;
    PortHandle m_port = -1;
};

TEST_F(RemoteOverTcp, FetchesAWholeImageFromAListeningPortTwiceInARow) {
    m_port = OPENCOMM("\\\\.\\tcp-listen:0", 16384, 16384);
    ASSERT_GE(m_port, 0);
    const std::string address = "127.0.0.1:" + std::to_string(*GetCommListenPort(m_port));
    for (int session = 0; session < 2; ++session) {
        FILE* remote = start_remote("--tcp " + address);
        ASSERT_NE(remote, nullptr);
        EXPECT_EQ(serve(), kTracks) << "session " << session;
        EXPECT_EQ(::pclose(remote), 0) << "session " << session;
        ASSERT_TRUE(ReadyCommForNextSession(m_port)) << GetCommLineFault(m_port)->reason;
    }
}

TEST_F(RemoteOverTcp, ServesAWholeImageToKadroRemoteListening) {
    FILE* remote = start_remote("--tcp-listen 0");
    ASSERT_NE(remote, nullptr);
    char said[256] = {};
    ASSERT_NE(std::fgets(said, sizeof said, remote), nullptr);
    const std::string line = said;
    const std::size_t at = line.find("listening on ");
    ASSERT_NE(at, std::string::npos) << line;
    m_port = OPENCOMM("\\\\.\\tcp:" + line.substr(at + 13, line.find_first_of("\r\n") - at - 13),
                      16384, 16384);
    ASSERT_GE(m_port, 0);
    // The first "T" comes the instant the connection is made, before a window listens, and
    // nothing follows it until it is answered: registering must announce it.
    const auto deadline = Clock::now() + 10s;
    while (GetCommRingPositions(m_port)->write == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(1ms);
    }
    platform::RegisterClass("KadroAnnouncedTest", announced_procedure);
    platform::HWND window =
        platform::CreateWindowEx(0, "KadroAnnouncedTest", "", 0, 0, 0, 10, 10, 0, 0);
    ENABLECOMMNOTIFICATION(m_port, window, 1, -1);
    platform::MSG msg;
    while (!g_announced && Clock::now() < deadline) {
        while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
            platform::DispatchMessage(&msg);
        }
        std::this_thread::sleep_for(1ms);
    }
    platform::DestroyWindow(window);
    EXPECT_TRUE(g_announced);
    EXPECT_EQ(serve(), kTracks);
    EXPECT_EQ(::pclose(remote), 0);
}

}  // namespace
}  // namespace kadro::test
