// The serial port layer over real pseudo-terminals: opening and closing, the reader thread and
// its notifications, the receive ring, line settings and data transfer, hang-up and overrun.

#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <atomic>
#include <random>
#include <thread>

#include "testing/cpu_time.h"
#include "testing/port_fixture.h"

namespace kadro::test {
namespace {

using namespace platform;

int thread_count() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (dirent* entry = ::readdir(dir)) {
            count += entry->d_name[0] != '.' ? 1 : 0;
        }
        ::closedir(dir);
    }
    return count;
}

using PortOpen = PortTest;

TEST_F(PortOpen, FailedOpensReturnMinusOneAndLeaveNoThread) {
    // A first thread may bring helper threads of the runtime (sanitizers); count after them.
    CLOSECOMM(OPENCOMM(m_pty.path()));
    const int before = thread_count();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(OPENCOMM("\\\\.\\/dev/kadro-missing-port"), -1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(thread_count(), before);

    PortHandle held = open_port();
    ASSERT_GE(held, 0);
    EXPECT_EQ(thread_count(), before + 1);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(OPENCOMM(m_pty.path()), -1) << "a busy device is refused, even for root";
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(thread_count(), before + 1);

    EXPECT_TRUE(close_port());
    EXPECT_EQ(thread_count(), before);
}

TEST_F(PortOpen, QueueSizesAreRecommendedByTheirLow16Bits) {
    PortHandle first = open_port();
    ASSERT_GE(first, 0);
    auto sizes = GetCommQueueSizes(first);
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->input, 1024);
    EXPECT_EQ(sizes->output, 128);
    EXPECT_TRUE(CLOSECOMM(first));
    EXPECT_FALSE(GetCommQueueSizes(first)) << "a closed handle names nothing";

    m_port = OPENCOMM(m_pty.path(), 70000, 16384);
    ASSERT_GE(m_port, 0);
    EXPECT_NE(m_port, first);
    sizes = GetCommQueueSizes(m_port);
    ASSERT_TRUE(sizes);
    EXPECT_EQ(sizes->input, 4464);
    EXPECT_EQ(sizes->output, 16384);
}

using PortReceive = PortTest;

TEST_F(PortReceive, BytesStoredWhileSilentAreAnnouncedWhenAWindowRegisters) {
    PortHandle port = open_port();
    std::string buffer(1000, ' ');
    m_on_notify = [&](PortHandle h) { READCOMM(h, buffer); };

    m_pty.send("AB");
    ring_until(port, [](CommRingPositions p) { return p.write == 2; });
    flush_sent();
    EXPECT_TRUE(m_seen.empty()) << "no window registered, no message";

    EXPECT_TRUE(ENABLECOMMNOTIFICATION(port, m_window, 1, -1));
    pump_until([&] { return !m_seen.empty(); }, std::chrono::seconds(5));
    ASSERT_EQ(m_seen.size(), 1u) << "announced with no further byte";
    EXPECT_EQ(m_seen[0].wparam, static_cast<WPARAM>(port));
    EXPECT_EQ(m_seen[0].lparam, 1);
    EXPECT_EQ(buffer.substr(0, 3), "AB ");
    EXPECT_EQ(buffer.size(), 1000u);
    m_pty.send("C");
    pump_until([&] { return m_seen.size() == 2; });
    EXPECT_EQ(buffer.substr(0, 2), "CB");

    EXPECT_TRUE(ENABLECOMMNOTIFICATION(port, 0, 99, 12345));
    m_pty.send("D");
    ring_until(port, [](CommRingPositions p) { return p.write == 4; });
    flush_sent();
    EXPECT_EQ(m_seen.size(), 2u);
}

TEST_F(PortReceive, WaitingBytesAreTakenInCyclesOfAtMost1023) {
    PortHandle port = open_port();
    std::vector<int> per_cycle;
    std::string buffer(4096, '\0');
    m_on_notify = [&](PortHandle h) {
        if (per_cycle.empty()) {
            // The reader thread is blocked in this notification: let 3000 bytes pile up in
            // the driver before it looks again.
            m_pty.send(pattern(3000));
            int queued = 0;
            while (queued < 3000 && ::ioctl(m_pty.slave(), FIONREAD, &queued) == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        per_cycle.push_back(READCOMM(h, buffer));
    };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    m_pty.send("T");
    pump_until([&] { return per_cycle.size() == 4; });
    EXPECT_EQ(per_cycle, (std::vector<int>{1, 1023, 1023, 954}));
}

TEST_F(PortReceive, RingWrapsFrom2047ToZeroKeepingOrder) {
    PortHandle port = open_port();
    std::string received;
    std::string buffer(1000, '\0');
    bool positions_in_range = true;
    m_on_notify = [&](PortHandle h) {
        auto p = GetCommRingPositions(h);
        positions_in_range = positions_in_range && p && p->write >= 0 && p->write < 2048;
        while (int n = READCOMM(h, buffer)) {
            received.append(buffer, 0, static_cast<std::size_t>(n));
        }
    };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    const std::string data = pattern(2050);
    m_pty.send(data.substr(0, 2046));
    pump_until([&] { return received.size() == 2046; });
    auto p = GetCommRingPositions(port);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->write, 2046);
    EXPECT_EQ(p->read, 2046);

    m_pty.send(data.substr(2046));
    pump_until([&] { return received.size() == 2050; });
    p = GetCommRingPositions(port);
    EXPECT_EQ(p->write, 2);
    EXPECT_EQ(p->read, 2);
    EXPECT_EQ(received, data);
    EXPECT_TRUE(positions_in_range);
}

TEST_F(PortReceive, FullRingHoldsTheRestInTheDriverInsteadOfOverwriting) {
    PortHandle port = open_port();
    const std::string data = pattern(3000);
    m_pty.send(data);
    ring_until(port, [](CommRingPositions p) { return unread(p) == 2047; });

    std::string buffer(4000, '\0');
    ASSERT_EQ(READCOMM(port, buffer), 2047) << "2047 unread bytes come back in one call";
    EXPECT_EQ(buffer.substr(0, 2047), data.substr(0, 2047));

    ring_until(port, [](CommRingPositions p) { return unread(p) == 953; });
    ASSERT_EQ(READCOMM(port, buffer), 953);
    EXPECT_EQ(buffer.substr(0, 953), data.substr(2047));
    EXPECT_EQ(READCOMM(port, buffer), 0);
}

TEST_F(PortReceive, ARingThatFilledBeforeRegistrationIsAnnouncedOnceAWindowListens) {
    PortHandle port = open_port();
    const std::string data = pattern(3000);
    m_pty.send(data);
    ring_until(port, [](CommRingPositions p) { return unread(p) == 2047; });
    collect(4000);
    pump_until([&] { return m_received.size() == data.size(); });
    EXPECT_EQ(m_received, data) << "no further byte needed to arrive, and none was lost";
}

// A window may take less per notification than a burst brings. Once the line goes quiet the
// rest must still be announced: a command at the end of a burst of noise would otherwise wait
// unanswered until some later byte arrives.
TEST_F(PortReceive, ABurstTakenInPartsReachesTheWindowWholeOnceTheLineIsQuiet) {
    open_port();
    collect(100);
    const std::string burst = pattern(2500) + "T";
    m_pty.send(burst);
    pump_until([&] { return m_received.size() == burst.size(); }, std::chrono::seconds(10));
    ASSERT_EQ(m_received.size(), burst.size()) << "bytes announced while no further byte came";
    EXPECT_TRUE(m_received == burst) << "bytes changed or out of order";
}

TEST_F(PortReceive, ShortAndEmptyBuffersAreFilledInPlace) {
    PortHandle port = open_port();
    std::string buffer = "xyz";
    EXPECT_EQ(READCOMM(port, buffer), 0);
    EXPECT_EQ(buffer, "xyz");

    m_pty.send("HELLO");
    ring_until(port, [](CommRingPositions p) { return p.write == 5; });
    std::string two(2, '-');
    const char* storage = two.data();
    EXPECT_EQ(READCOMM(port, two), 2);
    EXPECT_EQ(two, "HE");
    EXPECT_EQ(two.data(), storage) << "copied in place";

    std::string big(1000, ' ');
    EXPECT_EQ(READCOMM(port, big), 3);
    EXPECT_EQ(big.substr(0, 4), "LLO ");
    EXPECT_EQ(big.size(), 1000u);
    EXPECT_EQ(READCOMM(port, big), 0);
}

using PortClose = PortTest;

TEST_F(PortClose, PendingNotificationIsWithdrawnAndNoneFollows) {
    PortHandle port = open_port();
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    m_pty.send("x");
    // The byte is stored; the reader thread now waits for this thread to take its message.
    ring_until(port, [](CommRingPositions p) { return p.write == 1; });
    {
        HangGuard guard("CLOSECOMM with a notification pending", std::chrono::seconds(5));
        EXPECT_TRUE(close_port());
    }
    m_pty.send("more");
    flush_sent();
    EXPECT_TRUE(m_seen.empty());
    std::string buffer(10, ' ');
    EXPECT_EQ(READCOMM(port, buffer), 0);
    EXPECT_FALSE(GetCommRingPositions(port));
}

TEST_F(PortClose, HandlerMayCloseItsOwnPort) {
    PortHandle port = open_port();
    m_on_notify = [&](PortHandle h) {
        HangGuard guard("CLOSECOMM inside the port's own notification", std::chrono::seconds(5));
        EXPECT_EQ(h, m_port);
        EXPECT_TRUE(close_port());
        m_pty.send("after");
    };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    m_pty.send("T");
    pump_until([&] { return !m_seen.empty(); });
    flush_sent();
    EXPECT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(m_port, -1);
}

TEST_F(PortClose, CloseDuringAFloodLeavesNothingBehind) {
    PortHandle port = open_port();
    std::string buffer(1000, '\0');
    m_on_notify = [&](PortHandle h) { READCOMM(h, buffer); };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    std::atomic<bool> stop{false};
    std::atomic<bool> writer_done{false};
    std::thread writer([&] {
        const std::string chunk = pattern(512);
        while (!stop) {
            m_pty.send(chunk);
        }
        writer_done = true;
    });
    pump_until([&] { return m_seen.size() >= 20; });
    {
        HangGuard guard("CLOSECOMM during a flood", std::chrono::seconds(5));
        EXPECT_TRUE(close_port());
    }
    const std::size_t at_close = m_seen.size();
    flush_sent();
    EXPECT_EQ(m_seen.size(), at_close);
    // Nobody reads the line any more, so the writer may be blocked on it: empty the near end
    // until the writer is out.
    stop = true;
    ::fcntl(m_pty.slave(), F_SETFL, O_NONBLOCK);
    while (!writer_done) {
        char sink[4096];
        [[maybe_unused]] auto n = ::read(m_pty.slave(), sink, sizeof sink);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    writer.join();
}

using PortTransfer = PortTest;

TEST_F(PortTransfer, WritesReturnTheCountThatLeft) {
    PortHandle port = open_port();
    EXPECT_EQ(WRITECOMM(port, ""), 0);
    EXPECT_EQ(WRITECOMM(port, "T"), 1);
    const std::string track = pattern(4608);
    EXPECT_EQ(WRITECOMM(port, track), 4608);
    EXPECT_EQ(m_pty.receive(4609), "T" + track);
}

TEST_F(PortTransfer, LineSettingsReadBackAndTheLineIsTransparent) {
    PortHandle port = open_port();
    std::string dcb;
    ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1", dcb));
    ASSERT_TRUE(SETCOMMSTATE(port, dcb));
    termios t{};
    ASSERT_EQ(::tcgetattr(m_pty.slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    EXPECT_FALSE(SETCOMMSTATE(port, ""));
    EXPECT_FALSE(SETCOMMSTATE(port, dcb.substr(1)));
    std::string refused;
    ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1.5", refused));
    EXPECT_FALSE(SETCOMMSTATE(port, refused));
    std::string malformed = dcb;
    EXPECT_FALSE(BUILDCOMMDCB("57600,X,8,1", malformed));
    EXPECT_EQ(malformed, "");

    const std::string all = pattern(256) + "\r\n\x11\x13";
    m_pty.send(all);
    ring_until(port, [&](CommRingPositions p) { return unread(p) == int(all.size()); });
    std::string in(all.size(), '\0');
    EXPECT_EQ(READCOMM(port, in), static_cast<std::int16_t>(all.size()));
    EXPECT_EQ(in, all);
    EXPECT_EQ(WRITECOMM(port, all), static_cast<std::int16_t>(all.size()));
    EXPECT_EQ(m_pty.receive(all.size()), all);
}

TEST_F(PortTransfer, HangUpStopsTheReaderAndWritesReturnAtOnce) {
    PortHandle port = open_port();
    collect(100);
    m_pty.send("ab");
    pump_until([&] { return m_received == "ab"; });
    m_pty.close_master();

    // A reader thread that kept polling the dead device would burn this whole second.
    const double cpu_before = process_cpu_seconds();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LT(process_cpu_seconds() - cpu_before, 0.3);

    EXPECT_LT(WRITECOMM(port, std::string(4608, 'T')), 4608);
    flush_sent();
    ASSERT_EQ(m_seen.size(), 2u) << "the bytes, then the fault, each announced once";
    EXPECT_EQ(fault_of(port), platform::LineFault::kHungUp);
    EXPECT_TRUE(close_port());
}

TEST_F(PortTransfer, AWriteToAFarEndThatStoppedReadingGivesUpWithTheCountThatLeft) {
    PortHandle port = open_port();
    // A fast line keeps the deadline (twice the transfer time plus a second) short.
    ASSERT_NO_FATAL_FAILURE(set_line("4000000,N,8,1"));
    ASSERT_TRUE(SetCommStallLimit(port, std::chrono::milliseconds(300)));
    // The far end reads nothing: the terminal's buffers fill and the line stalls. The write
    // must come back (after the stall limit) instead of holding the interface thread forever.
    const std::string big(32767, 'x');
    std::int16_t first = WRITECOMM(port, big);
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 32767);
    EXPECT_EQ(fault_of(port), platform::LineFault::kStalled);
    EXPECT_EQ(static_cast<std::size_t>(first), m_pty.receive(100000, 200).size())
        << "the count returned is what the far end can read";
}

TEST_F(PortTransfer, ASlowLineThatKeepsMovingIsWaitedForPastTheStallLimit) {
    PortHandle port = open_port();
    ASSERT_NO_FATAL_FAILURE(set_line("4000000,N,8,1"));
    constexpr auto kLimit = std::chrono::milliseconds(1500);
    ASSERT_TRUE(SetCommStallLimit(port, kLimit));
    // The far end takes 512 bytes every 50 ms: far slower than the line's speed promises, so
    // the write outlasts the stall limit, but it never stops moving for that long (a terminal
    // makes room in bursts of a few kilobytes).
    const std::string data = pattern(32767, 5);
    std::string received;
    std::thread far_end([&] {
        while (received.size() < data.size()) {
            std::string part =
                m_pty.receive(std::min<std::size_t>(512, data.size() - received.size()), 2000);
            if (part.empty()) {
                return;
            }
            received += part;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    const auto started = std::chrono::steady_clock::now();
    std::int16_t written = WRITECOMM(port, data);
    const auto took = std::chrono::steady_clock::now() - started;
    far_end.join();
    EXPECT_EQ(written, 32767);
    EXPECT_EQ(fault_of(port), std::nullopt);
    EXPECT_GT(took, kLimit) << "the far end did not hold the line back";
    EXPECT_TRUE(received == data);
}

TEST_F(PortTransfer, AFaultBeforeAnyWindowListensIsAnnouncedToTheFirstOneThatDoes) {
    PortHandle port = open_port();
    m_pty.close_master();
    // Wait until the reader thread has seen the hang-up; no window is registered yet.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!GetCommLineFault(port) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(fault_of(port), platform::LineFault::kHungUp);
    flush_sent();
    EXPECT_TRUE(m_seen.empty());

    // The handler switches off and on again, as the application's does: one notification only.
    m_on_notify = [&](PortHandle h) {
        ENABLECOMMNOTIFICATION(h, 0, 1, -1);
        ENABLECOMMNOTIFICATION(h, m_window, 1, -1);
    };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    pump_until([&] { return !m_seen.empty(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    flush_sent();
    ASSERT_EQ(m_seen.size(), 1u);
    EXPECT_EQ(static_cast<PortHandle>(m_seen[0].wparam), port);
    EXPECT_TRUE(close_port());
}

TEST_F(PortTransfer, FloodWithASlowDrainLosesNothing) {
    PortHandle port = open_port();
    constexpr std::size_t kTotal = 1'200'000;
    const std::string data = pattern(kTotal, 11);
    std::string received;
    received.reserve(kTotal);
    std::string buffer(300, '\0');
    int calls = 0;
    int most_unread = 0;
    m_on_notify = [&](PortHandle h) {
        // Take less than a cycle brings and sometimes dawdle, so the ring runs full and the
        // reader thread has to wait for room.
        most_unread = std::max(most_unread, unread(*GetCommRingPositions(h)));
        received.append(buffer, 0, static_cast<std::size_t>(READCOMM(h, buffer)));
        if (++calls % 64 == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    };
    ENABLECOMMNOTIFICATION(port, m_window, 1, -1);
    std::atomic<bool> all_sent{false};
    std::thread writer([&] {
        std::mt19937 random(7);
        std::size_t sent = 0;
        while (sent < kTotal) {
            std::size_t burst = std::min<std::size_t>(kTotal - sent, 1 + random() % 9000);
            m_pty.send(std::string_view(data).substr(sent, burst));
            sent += burst;
            if (random() % 8 == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        all_sent = true;
    });
    pump_until([&] {
        // Partial drains leave a tail that no later reception announces: take it at the end.
        if (all_sent) {
            received.append(buffer, 0, static_cast<std::size_t>(READCOMM(port, buffer)));
        }
        return received.size() >= kTotal;
    });
    writer.join();
    EXPECT_EQ(most_unread, 2047);
    ASSERT_EQ(received.size(), kTotal);
    EXPECT_TRUE(received == data) << "bytes lost or reordered";
}

}  // namespace
}  // namespace kadro::test
