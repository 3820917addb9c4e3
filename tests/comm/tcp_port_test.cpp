// The serial port layer over TCP lines on loopback: a listener that serves one connection at a
// time and the next after ReadyCommForNextSession, a line that connects, the peer closing,
// resetting or no longer reading, and names that cannot be opened.

#include <gtest/gtest.h>

#include "comm/open_failure.h"
#include "testing/port_fixture.h"
#include "testing/tcp_peer.h"

namespace kadro::test {
namespace {

using namespace platform;

class TcpPort : public PortTest {
  protected:
    // Opens `name` as the port under test, its notifications collected whole.
    PortHandle open_line(const std::string& name) {
        ::testing::internal::CaptureStderr();  // where it listens
        m_port = OPENCOMM("\\\\.\\" + name, 16384, 16384);
        m_said = ::testing::internal::GetCapturedStderr();
        if (m_port >= 0) {
            set_line("57600,N,8,1");  // the line settings do not apply, and do not fail
            collect(1000);
        }
        return m_port;
    }

    bool received(const std::string& bytes) {
        return pump_until([&] { return m_received == bytes; });
    }

    // Waits (pumping) until the port records a fault of `kind`.
    bool faulted(LineFault kind) {
        return pump_until([&] { return fault_of(m_port) == kind; });
    }

    std::string m_said;
};

TEST_F(TcpPort, AListenerServesOneConnectionAtATimeAndTheNextAfterASession) {
    ASSERT_GE(open_line("tcp-listen:127.0.0.1:0"), 0);
    const std::optional<std::uint16_t> port = GetCommListenPort(m_port);
    ASSERT_TRUE(port);
    EXPECT_NE(m_said.find("listening on 127.0.0.1:" + std::to_string(*port)), std::string::npos)
        << m_said;
    EXPECT_EQ(WRITECOMM(m_port, "\x09"), 0) << "before a connection the stop byte goes nowhere";
    EXPECT_FALSE(GetCommLineFault(m_port));

    TcpPeer first = TcpPeer::connect(*port);
    ASSERT_GE(first.fd(), 0);
    first.send("T");
    ASSERT_TRUE(received("T"));
    EXPECT_LT(TcpPeer::connect(*port).fd(), 0) << "a second connection while one is served";
    EXPECT_EQ(errno, ECONNREFUSED);
    const std::string track = pattern(4608);
    EXPECT_EQ(WRITECOMM(m_port, track), 4608);
    EXPECT_EQ(first.receive(4608), track);

    first.send("ET");  // a byte after the end belongs to this connection only
    first.close();
    ASSERT_TRUE(faulted(LineFault::kHungUp));
    EXPECT_EQ(m_received, "TET");

    m_received.clear();
    ASSERT_TRUE(ReadyCommForNextSession(m_port));
    EXPECT_FALSE(GetCommLineFault(m_port));
    EXPECT_EQ(GetCommListenPort(m_port), port) << "the same port, also when the system chose it";
    TcpPeer second = TcpPeer::connect(*port);
    ASSERT_GE(second.fd(), 0);
    second.send("T");
    ASSERT_TRUE(received("T")) << "the window registered before hears the next connection";
    EXPECT_EQ(WRITECOMM(m_port, "ok"), 2);
    EXPECT_EQ(second.receive(2), "ok");
}

TEST_F(TcpPort, AConnectingLineKeepsItsConnectionAcrossSessionsUntilAReset) {
    TcpListener emulator;
    ASSERT_GE(open_line(emulator.line_name()), 0);
    TcpPeer peer = emulator.accept();
    ASSERT_GE(peer.fd(), 0);
    EXPECT_FALSE(GetCommListenPort(m_port));
    peer.send("E");
    ASSERT_TRUE(received("E"));
    EXPECT_TRUE(ReadyCommForNextSession(m_port));
    peer.send("T");
    ASSERT_TRUE(received("ET"));
    EXPECT_EQ(WRITECOMM(m_port, std::string(1, '\0')), 1);
    EXPECT_EQ(peer.receive(1), std::string(1, '\0'));

    peer.reset();
    ASSERT_TRUE(faulted(LineFault::kHungUp));
    EXPECT_FALSE(GetCommLineFault(m_port)->reason.empty()) << "a reset has the system's words";
    EXPECT_FALSE(ReadyCommForNextSession(m_port)) << "a lost connection serves no more sessions";
    EXPECT_LT(WRITECOMM(m_port, "T"), 1);
}

// An emulator may ask for a track the instant the connection opens, before the window has
// registered: the request must not wait for a further byte.
TEST_F(TcpPort, ARequestSentBeforeTheWindowRegistersIsAnnouncedWhenItDoes) {
    TcpListener emulator;
    m_port = OPENCOMM("\\\\.\\" + emulator.line_name());
    ASSERT_GE(m_port, 0);
    TcpPeer peer = emulator.accept();
    peer.send("T");
    ring_until(m_port, [](CommRingPositions p) { return p.write == 1; });
    collect(1000);
    EXPECT_TRUE(received("T"));
}

TEST_F(TcpPort, APeerThatStopsReadingStallsTheWriteAfterTheLimit) {
    TcpListener emulator(4096);
    ASSERT_GE(open_line(emulator.line_name()), 0);
    TcpPeer peer = emulator.accept();
    ASSERT_GE(peer.fd(), 0);
    SetCommStallLimit(m_port, std::chrono::milliseconds(300));
    const std::string chunk = pattern(32767);
    int writes = 0;
    while (writes < 1000 && WRITECOMM(m_port, chunk) == 32767) {
        ++writes;
    }
    EXPECT_LT(writes, 1000) << "the buffers between never filled";
    EXPECT_EQ(fault_of(m_port), LineFault::kStalled);
}

TEST_F(TcpPort, NamesThatCannotBeOpenedGiveMinusOneWithTheReason) {
    const std::uint16_t closed_port = TcpListener().port();  // nobody listens there any more
    TcpListener taken;
    const struct {
        std::string name;
        std::string said;
    } cases[] = {
        {"tcp:127.0.0.1:" + std::to_string(closed_port), "Connection refused"},
        {"tcp-listen:127.0.0.1:" + std::to_string(taken.port()), "Address already in use"},
        {"TCP:127.0.0.1", "tcp:HOST:PORT"},
        {"tcp-listen:127.0.0.1:70000", "tcp-listen:[HOST:]PORT"},
        {"tcp:no-such-host.invalid:5000", "no-such-host.invalid"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(open_line(c.name), -1) << c.name;
        const auto failure = GetCommOpenFailure();
        ASSERT_TRUE(failure) << c.name;
        EXPECT_EQ(failure->device, c.name);
        EXPECT_NE(failure->text.find(c.said), std::string::npos) << c.name << ": " << failure->text;
    }
}

}  // namespace
}  // namespace kadro::test
