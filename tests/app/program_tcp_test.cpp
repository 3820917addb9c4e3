// The whole program, headless, on a TCP line it connects to (Porta=tcp:127.0.0.1:PORT): the
// connection lost while the program waits and while it writes a track, told within a second;
// and a listener no one connected to, ended with Escape.

#include <atomic>
#include <chrono>

#include "testing/tcp_peer.h"
#include "tests/app/program_fixture.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kTrack = 4608;

std::string make_image(std::size_t size) {
    std::string image(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        image[i] = static_cast<char>((i / kTrack) * 29 + i * 11 + (i >> 10));
    }
    return image;
}

class ProgramOverTcp : public ProgramTest {
  protected:
    // Serves an image of `tracks` tracks to a far end that listens (small receive window) and
    // drops the connection once `drop` says so; returns when the program has ended, with the
    // time from the drop to the pop-up.
    Clock::duration lose_line(std::size_t tracks, const std::function<void(TcpPeer&)>& drop) {
        use_image(make_image(tracks * kTrack));
        TcpListener emulator(4096);
        write_settings(emulator.line_name());
        std::atomic<Clock::rep> dropped{0};
        Clock::duration delay{};
        m_script->answers.push_back(BoxAnswer::run([&](platform::HWND box) {
            delay = Clock::now().time_since_epoch() - Clock::duration(dropped.load());
            platform::PostMessage(box, platform::WM_COMMAND, platform::IDOK, 0);
        }));
        const int code = serve([&] {
            TcpPeer peer = emulator.accept();
            drop(peer);
            dropped = Clock::now().time_since_epoch().count();
            peer.close();
        });
        EXPECT_EQ(code, 0);
        EXPECT_EQ(m_script->shown.size(), 1u);
        return delay;
    }
};

TEST_F(ProgramOverTcp, AConnectionClosedWhileWaitingIsALostLineToldWithinASecond) {
    const Clock::duration delay = lose_line(3, [](TcpPeer& peer) {
        peer.send("T");
        EXPECT_EQ(peer.receive(1 + kTrack).size(), 1 + kTrack);
        std::this_thread::sleep_for(200ms);
    });
    EXPECT_LT(delay, 1s);
    EXPECT_NE(
        m_display->log_text.find("Sending sectors -1 to 16\r\nLine lost: the line was hung up"),
        std::string::npos)
        << m_display->log_text;
    ASSERT_FALSE(m_script->shown.empty());
    EXPECT_TRUE(m_script->shown[0].text.starts_with("Collegamento con la macchina remota perso:"));
}

TEST_F(ProgramOverTcp, AConnectionClosedDuringATrackStopsServingWithinASecond) {
    const Clock::duration delay = lose_line(40, [](TcpPeer& peer) {
        peer.send(std::string(30, 'T'));
        std::this_thread::sleep_for(1s);  // nothing is read: the program's write waits
    });
    EXPECT_LT(delay, 1s);
    EXPECT_NE(m_display->log_text.find(" not sent: the line was hung up"), std::string::npos)
        << m_display->log_text;
    ASSERT_FALSE(m_script->shown.empty());
    EXPECT_NE(m_script->shown[0].text.find(" non inviati:"), std::string::npos);
}

TEST_F(ProgramOverTcp, AListenerThatNoOneReachedStillEndsOnEscape) {
    use_image(make_image(kTrack));
    write_settings("tcp-listen:0");
    const int code = serve([] { platform::InjectKeyDown(platform::VK_ESCAPE, 27); });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(m_display->log_text, "Waiting command (ESC to exit)...\r\n");
    EXPECT_TRUE(m_script->shown.empty()) << "the stop byte going nowhere is no failure";
}

}  // namespace
}  // namespace kadro::test
