// kadro-remote over TCP against the serial layer listening on loopback: the whole image byte for
// byte, answered the way the command loop answers, and "E" at the end.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <thread>
#include <utility>

#include "testing/child_process.h"
#include "testing/port_fixture.h"

namespace kadro::test {
namespace {

using namespace std::chrono_literals;

class RemoteOverTcp : public PortTest {};

TEST_F(RemoteOverTcp, FetchesAWholeImageFromAListeningPortAndEndsTheRun) {
    const std::string image = pattern(160 * 4608, 3);
    char dir[] = "/tmp/kadro-remote-tcp-XXXXXX";
    ASSERT_NE(::mkdtemp(dir), nullptr);
    const std::string expected = std::string(dir) + "/expected";
    std::ofstream(expected, std::ios::binary) << image;

    ::testing::internal::CaptureStderr();
    m_port = OPENCOMM("\\\\.\\tcp-listen:0", 16384, 16384);
    ::testing::internal::GetCapturedStderr();
    ASSERT_GE(m_port, 0);
    collect(1000);
    ChildProcess remote({std::string(KADRO_BINARY_DIR) + "/tools/remote/kadro-remote", "--tcp",
                         "127.0.0.1:" + std::to_string(*GetCommListenPort(m_port)), "--tracks",
                         "160", "--batch", "3", "--end", "--quiet", "--expect", expected});
    std::size_t served = 0;
    bool ended = false;
    int code = -1;
    pump_until([&] {
        for (char command : std::exchange(m_received, {})) {
            if (command == 'T') {
                WRITECOMM(m_port, std::string(1, '\0'));
                std::this_thread::sleep_for(10ms);
                WRITECOMM(m_port, std::string_view(image).substr(served++ * 4608, 4608));
            }
            ended = ended || command == 'E';
        }
        code = remote.exit_code(0ms);
        return ended && code >= 0;
    });
    EXPECT_EQ(code, 0) << remote.said();
    EXPECT_EQ(served, 160u);
    std::remove(expected.c_str());
    ::rmdir(dir);
}

}  // namespace
}  // namespace kadro::test
