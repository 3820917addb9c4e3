// The system's port listing (under Wine, the ports Wine maps), printed for the log: COM names.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/serial_port_list.h"

namespace kadro::test {
namespace {

TEST(SerialPortList, NamesTheSystemsComPortsOnceInNumberOrder) {
    const auto ports = platform::ListSerialPorts();
    std::fputs(platform::SerialPortListText(ports).c_str(), stdout);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ASSERT_TRUE(ports[i].name.starts_with("COM")) << ports[i].name;
        EXPECT_TRUE(i == 0 ||
                    std::stoi(ports[i - 1].name.substr(3)) < std::stoi(ports[i].name.substr(3)));
    }
}

}  // namespace
}  // namespace kadro::test
