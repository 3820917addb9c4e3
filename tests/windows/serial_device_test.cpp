// The serial device's write on the real system when the far end stops taking bytes or goes
// away: a COM port that is a pseudo-terminal whose other end (tests/windows/with_com_port.py,
// named by KADRO_TEST_FAR_END) never reads, or closes when the first byte arrives.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_device.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The device on the test's COM port, or a skip when the harness set up another far end.
class FarEnd : public ::testing::Test {
  protected:
    void open_for(const std::string& wanted) {
        const char* port = std::getenv("KADRO_TEST_PORT");
        const char* far_end = std::getenv("KADRO_TEST_FAR_END");
        if (port == nullptr || far_end == nullptr || far_end != wanted) {
            GTEST_SKIP() << "needs with_com_port.py --far-end=" << wanted;
        }
        platform::SerialDevice::OpenResult opened = platform::SerialDevice::open(port);
        ASSERT_TRUE(opened.ok()) << port << ": " << opened.error();
        m_device.emplace(opened.take());
        std::optional<platform::DCB> dcb = platform::build_dcb_from_mode("57600,N,8,1");
        ASSERT_TRUE(dcb);
        ASSERT_TRUE(m_device->apply(*dcb));
    }

    std::optional<platform::SerialDevice> m_device;
};

using FarEnd_silent = FarEnd;
using FarEnd_hangup = FarEnd;

TEST_F(FarEnd_silent, AWriteNobodyReadsEndsStalledAfterTheLimitWithWhatLeft) {
    open_for("silent");
    if (!m_device) {
        return;
    }
    m_device->set_stall_limit(400ms);
    EXPECT_EQ(m_device->stall_limit(), 400ms);
    // Far more than a terminal's buffers hold.
    std::vector<std::uint8_t> data(1 << 20, 0x55);
    const auto start = Clock::now();
    platform::WriteResult result = m_device->write(data.data(), data.size());
    const auto took = Clock::now() - start;
    EXPECT_EQ(result.fault, platform::LineFault::kStalled);
    EXPECT_LT(result.written, data.size());
    EXPECT_GE(took, 400ms);
    EXPECT_LT(took, 10s);
}

TEST_F(FarEnd_hangup, AWriteToALineThatHungUpReportsItWithTheSystemsText) {
    open_for("hang-up");
    if (!m_device) {
        return;
    }
    m_device->set_stall_limit(2s);
    // The far end closes once it sees the first byte; a write then fails as hung up (possibly
    // already the first, while it waits for its byte to drain), never stalls or succeeds.
    std::vector<std::uint8_t> data(4096, 0x42);
    platform::WriteResult result;
    const auto end = Clock::now() + 5s;
    do {
        result = m_device->write(data.data(), data.size());
    } while (result.fault == platform::LineFault::kNone && Clock::now() < end);
    EXPECT_EQ(result.fault, platform::LineFault::kHungUp) << result.reason;
    EXPECT_FALSE(result.reason.empty());
    EXPECT_EQ(result.reason.find("error "), std::string::npos) << result.reason;
}

}  // namespace
