// kadro, kadro-remote and kadro-serve --list-ports without a display print this machine's ports.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/serial_port_list.h"
#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

class ListPorts : public ScratchFolder {};

TEST_F(ListPorts, EveryProgramPrintsTheListingWithoutADisplayAndExitWithZero) {
    const std::string expected = platform::SerialPortListText(platform::ListSerialPorts());
    for (const std::string program : {KADRO_PROGRAM, KADRO_REMOTE_PROGRAM, KADRO_SERVE_PROGRAM}) {
        const int exit_code = RunInChild([&] {
            ::unsetenv("DISPLAY");
            ::dup2(::open((m_dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::execl(program.c_str(), program.c_str(), "--list-ports", nullptr);
            return 127;
        });
        EXPECT_EQ(exit_code, 0) << program;
        EXPECT_EQ(slurp(m_dir + "/out"), expected) << program;
    }
    EXPECT_EQ(platform::SerialPortListText({}), "No serial ports found.\n");
}

}  // namespace
}  // namespace kadro::test
