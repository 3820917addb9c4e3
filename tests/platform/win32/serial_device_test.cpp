// The serial device's write on the real system when the far end stops taking bytes or goes
// away: a COM port that is a pseudo-terminal whose other end (testing/with_com_port.py,
// named by KADRO_TEST_FAR_END) never reads, or closes when the first byte arrives.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/serial_device.h"
#include "platform/system_error.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace kadro::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The device on the test's COM port, set up for the far end its suite names (FarEnd_hangup
// runs under with_com_port.py --far-end=hang-up), or a skip under any other far end.
class FarEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* port = std::getenv("KADRO_TEST_PORT");
        const char* far_end = std::getenv("KADRO_TEST_FAR_END");
        std::string suite = far_end != nullptr ? far_end : "";
        std::erase(suite, '-');
        if (port == nullptr ||
            "FarEnd_" + suite !=
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name()) {
            GTEST_SKIP() << "runs under with_com_port.py with the far end its suite names";
        }
        platform::SerialDevice::OpenResult opened = platform::SerialDevice::open(port);
        ASSERT_TRUE(opened.ok()) << port << ": " << opened.error();
        m_device.emplace(opened.take());
        std::optional<platform::DCB> dcb = platform::BuildDcbFromMode("57600,N,8,1");
        ASSERT_TRUE(dcb);
        ASSERT_TRUE(m_device->apply(*dcb));
    }

    std::optional<platform::SerialDevice> m_device;
};

using FarEnd_silent = FarEnd;
using FarEnd_hangup = FarEnd;

TEST_F(FarEnd_silent, AWriteNobodyReadsEndsStalledAfterTheLimitWithWhatLeft) {
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

TEST_F(FarEnd_hangup, AReadFromALineThatHungUpReportsItWithTheSystemsText) {
    // The byte makes the far end close; the waits and reads after it must say so, in the
    // system's words. A watchdog ends a wait that would never return.
    const std::uint8_t byte = 0x54;
    m_device->write(&byte, 1);
    std::thread watchdog([this] {
        if (!m_device->wait_for_cancel_for(5000)) {
            m_device->cancel();
        }
    });
    platform::ReadFailure failure;
    std::ptrdiff_t got = 0;
    platform::InputWait event = platform::InputWait::Ready;
    std::array<std::uint8_t, 64> buffer{};
    while (got >= 0 && event == platform::InputWait::Ready) {
        event = m_device->wait_for_input(&failure);
        if (event == platform::InputWait::Ready) {
            got = m_device->read(buffer.data(), buffer.size(), &failure);
        }
    }
    m_device->cancel();
    watchdog.join();
    ASSERT_NE(event, platform::InputWait::Cancelled) << "no failure within 5 s";
    EXPECT_EQ(failure.fault, platform::LineFault::kHungUp) << failure.reason;
    // The system's own words for one of the errors that mean a line gone (under Wine on a
    // pseudo-terminal: "Broken pipe."), not the C library's.
    bool systems_text = false;
    for (DWORD code : {ERROR_BROKEN_PIPE, ERROR_HANDLE_EOF, ERROR_NOT_READY, ERROR_BAD_COMMAND,
                       ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_REMOVED, ERROR_PIPE_NOT_CONNECTED,
                       ERROR_NO_DATA}) {
        systems_text = systems_text || failure.reason == platform::SystemErrorText(code);
    }
    EXPECT_TRUE(systems_text) << failure.reason;
}

}  // namespace
}  // namespace kadro::test
