// The serial port layer over TCP on the real system (Winsock): kadro-remote.exe, run beside the
// build's tests, fetches a whole image byte for byte from a port that listens, twice in a row
// with the next session readied in between, and from a port that connects to it.

#include <gtest/gtest.h>
#include <process.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "comm/serial_port.h"
#include "platform/message_queue.h"
#include "platform/window.h"
#include "tests/windows/remote_process.h"

namespace kadro::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kTrack = 4608;
constexpr std::size_t kTracks = 160;

std::string* g_commands = nullptr;

platform::LRESULT drain_procedure(platform::HWND hwnd, platform::UINT msg, platform::WPARAM wparam,
                                  platform::LPARAM lparam) {
    if (msg == platform::WM_COMMNOTIFY && g_commands != nullptr) {
        auto port = static_cast<PortHandle>(wparam);
        std::string buffer(1000, ' ');
        g_commands->append(buffer, 0, static_cast<std::size_t>(READCOMM(port, buffer)));
        return 0;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

class WindowsTcpLine : public ::testing::Test {
  protected:
    void SetUp() override {
        m_folder = fs::temp_directory_path() / (L"kadro-tcp-" + std::to_wstring(::_getpid()));
        fs::create_directories(m_folder);
        for (std::size_t i = 0; i < kTrack * kTracks; ++i) {
            m_image.push_back(static_cast<char>(i * 7 + i / kTrack));
        }
        std::ofstream(m_folder / L"expected.bin", std::ios::binary) << m_image;
        if (!platform::IsClassRegistered("KadroTcpTestReceiver")) {
            ASSERT_TRUE(platform::RegisterClass("KadroTcpTestReceiver", drain_procedure));
        }
        m_window = platform::CreateWindowEx(0, "KadroTcpTestReceiver", "receiver",
                                            platform::WS_POPUP, 0, 0, 10, 10, 0, 0);
        g_commands = &m_commands;
    }
    void TearDown() override {
        if (m_port >= 0) {
            CLOSECOMM(m_port);
        }
        g_commands = nullptr;
        platform::DestroyWindow(m_window);
        std::error_code ignored;
        fs::remove_all(m_folder, ignored);
    }

    bool open(const std::string& name) {
        m_port = OPENCOMM("\\\\.\\" + name, 16384, 16384);
        return m_port >= 0 && ENABLECOMMNOTIFICATION(m_port, m_window, 1, -1);
    }

    // Serves the image as the command loop does until the remote has sent "E" and ended; the
    // count of tracks served, or -1 when that took more than a minute.
    int serve(const RemoteProcess& remote) {
        std::size_t served = 0;
        bool end = false;
        const auto deadline = Clock::now() + 60s;
        while (!(end && remote.ended()) && Clock::now() < deadline) {
            platform::MSG msg;
            while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
                platform::DispatchMessage(&msg);
            }
            for (char command : std::exchange(m_commands, {})) {
                if (command == 'T') {
                    WRITECOMM(m_port, std::string(1, '\0'));
                    platform::Sleep(10);
                    WRITECOMM(m_port, std::string_view(m_image).substr(served++ * kTrack, kTrack));
                }
                end = end || command == 'E';
            }
            platform::MsgWaitForInput(5ms);
        }
        return end && remote.ended() ? static_cast<int>(served) : -1;
    }

    static constexpr const wchar_t* kFetchAll =
        L" --tracks 160 --batch 2 --end --quiet --timeout-ms 10000 --expect expected.bin";

    fs::path m_folder;
    std::string m_image;
    std::string m_commands;
    platform::HWND m_window = 0;
    PortHandle m_port = -1;
};

TEST_F(WindowsTcpLine, AListeningPortServesAWholeImageAndTheNextSession) {
    ASSERT_TRUE(open("tcp-listen:127.0.0.1:0"));
    const std::wstring address = L"127.0.0.1:" + std::to_wstring(*GetCommListenPort(m_port));
    for (int session = 0; session < 2; ++session) {
        RemoteProcess remote(m_folder, L"--tcp " + address + kFetchAll);
        EXPECT_EQ(serve(remote), static_cast<int>(kTracks)) << "session " << session;
        EXPECT_EQ(remote.exit_code(), 0) << remote.said();
        ASSERT_TRUE(ReadyCommForNextSession(m_port)) << GetCommLineFault(m_port)->reason;
    }
}

TEST_F(WindowsTcpLine, AConnectingPortServesAWholeImageToKadroRemoteListening) {
    RemoteProcess remote(m_folder, std::wstring(L"--tcp-listen 0") + kFetchAll);
    const auto deadline = Clock::now() + 20s;
    std::string said;
    while (said.find('\n') == std::string::npos && Clock::now() < deadline) {
        platform::Sleep(20);
        said = remote.said();
    }
    const std::size_t at = said.find("listening on ");
    ASSERT_NE(at, std::string::npos) << said;
    ASSERT_TRUE(open("tcp:" + said.substr(at + 13, said.find_first_of("\r\n", at) - at - 13)));
    EXPECT_EQ(serve(remote), static_cast<int>(kTracks));
    EXPECT_EQ(remote.exit_code(), 0) << remote.said();
}

}  // namespace
}  // namespace kadro::test
