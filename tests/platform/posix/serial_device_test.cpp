// The POSIX serial device over real pseudo-terminals: naming, exclusive open, waiting and
// reading, writing, hang-up and line settings.

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/serial_device.h"
#include "testing/pty_pair.h"

namespace kadro::test {
namespace {

using namespace platform;

TEST(SerialDevicePath, PortNamesMapOntoDevicePaths) {
    EXPECT_EQ(SerialDevicePath("\\\\.\\COM1"), "/dev/ttyS0");
    EXPECT_EQ(SerialDevicePath("com4"), "/dev/ttyS3");
    EXPECT_EQ(SerialDevicePath("\\\\.\\COM256"), "/dev/ttyS255");
    EXPECT_EQ(SerialDevicePath("\\\\.\\/dev/pts/7"), "/dev/pts/7");
    EXPECT_EQ(SerialDevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDevicePath("\\\\.\\ttyACM0"), "/dev/ttyACM0");
    // Outside COM1..COM256 the name is just looked up under /dev.
    EXPECT_EQ(SerialDevicePath("COM0"), "/dev/COM0");
    EXPECT_EQ(SerialDevicePath("COM257"), "/dev/COM257");
    EXPECT_EQ(SerialDevicePath("COM1x"), "/dev/COM1x");
}

SerialDevice open_ok(const std::string& path) {
    auto result = SerialDevice::open(path);
    EXPECT_TRUE(result.ok()) << path << ": " << std::strerror(result.error());
    if (!result.ok()) {
        throw std::runtime_error("open failed");
    }
    return result.take();
}

TEST(SerialDeviceOpen, MissingPathAndNonTerminalFailWithTheirReason) {
    auto missing = SerialDevice::open("/dev/kadro-no-such-device");
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error(), ENOENT);
    EXPECT_EQ(missing.failure().problem, SerialOpenProblem::kMissing);
    EXPECT_EQ(missing.failure().device, "/dev/kadro-no-such-device");

    ::testing::internal::CaptureStderr();
    auto not_tty = SerialDevice::open("/dev/null");
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(not_tty.error(), ENOTTY);
    EXPECT_EQ(not_tty.failure().problem, SerialOpenProblem::kNotSerial);
}

TEST(SerialDeviceOpen, SecondOpenerIsRefusedUntilTheFirstCloses) {
    PtyPair pty;
    {
        SerialDevice first = open_ok(pty.path());
        ::testing::internal::CaptureStderr();
        auto second = SerialDevice::open(pty.path());
        ::testing::internal::GetCapturedStderr();
        EXPECT_FALSE(second.ok()) << "the advisory lock holds even for a privileged opener";
        EXPECT_EQ(second.error(), EBUSY);

        SerialDevice moved = std::move(first);  // ownership moves, the lock stays
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(SerialDevice::open(pty.path()).ok());
        ::testing::internal::GetCapturedStderr();
    }
    EXPECT_TRUE(SerialDevice::open(pty.path()).ok());
}

// Runs `open` of the path as the unprivileged user "nobody" in a child process; returns the
// child's errno (0 for success) and, through the device, the group its failure names.
std::pair<int, std::string> open_as_nobody(const std::string& path, bool through_device) {
    passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) {
        return {-1, "no user nobody"};
    }
    int out[2];
    if (::pipe(out) != 0) {
        return {-1, "pipe"};
    }
    pid_t child = ::fork();
    if (child == 0) {
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        if (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0) {
            ::_exit(100);
        }
        if (through_device) {
            auto r = SerialDevice::open(path);
            std::fputs(r.ok() ? "" : r.failure().group.c_str(), stderr);
            std::fflush(stderr);
            ::_exit(r.ok() ? 0 : r.error());
        }
        int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ::_exit(fd >= 0 ? 0 : errno);
    }
    ::close(out[1]);
    std::string text;
    char buffer[512];
    ssize_t n = 0;
    while ((n = ::read(out[0], buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

TEST(SerialDeviceOpen, ExclusiveModeStopsOtherOpenersAndIsGivenBack) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    PtyPair pty;
    ASSERT_EQ(::chmod(pty.path().c_str(), 0666), 0);
    {
        SerialDevice held = open_ok(pty.path());
        EXPECT_EQ(open_as_nobody(pty.path(), false).first, EBUSY);
    }
    EXPECT_EQ(open_as_nobody(pty.path(), false).first, 0);
}

TEST(SerialDeviceOpen, PermissionFailureNamesTheOwningGroup) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to act as another user";
    }
    PtyPair pty;
    ASSERT_EQ(::chmod(pty.path().c_str(), 0660), 0);
    auto [error, group] = open_as_nobody(pty.path(), true);
    EXPECT_EQ(error, EACCES);
    struct stat info {};
    ASSERT_EQ(::stat(pty.path().c_str(), &info), 0);
    EXPECT_EQ(group, ::getgrgid(info.st_gid)->gr_name);
}

TEST(SerialDeviceIo, OpenMakesTheLineRawAndBytesPassUnchanged) {
    PtyPair pty;
    termios cooked{};
    ::tcgetattr(pty.slave(), &cooked);
    cooked.c_lflag |= ECHO | ICANON;
    cooked.c_iflag |= ICRNL | IXON;
    ::tcsetattr(pty.slave(), TCSANOW, &cooked);

    SerialDevice device = open_ok(pty.path());
    termios now{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &now), 0);
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON), 0u);
    EXPECT_EQ(now.c_iflag & (ICRNL | IXON), 0u);

    const std::string sent = pattern(256);
    pty.send(sent);
    std::string got;
    std::uint8_t buffer[1024];
    while (got.size() < sent.size()) {
        ASSERT_EQ(device.wait_for_input(), InputWait::Ready);
        EXPECT_GT(device.waiting(), 0u);
        std::ptrdiff_t n = device.read(buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        got.append(reinterpret_cast<char*>(buffer), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(got, sent);
    EXPECT_EQ(device.waiting(), 0u);
    EXPECT_EQ(device.read(buffer, sizeof buffer), 0) << "nothing waiting is not end of file";

    const std::string back = pattern(4608, 3);
    platform::WriteResult wrote =
        device.write(reinterpret_cast<const std::uint8_t*>(back.data()), back.size());
    EXPECT_EQ(wrote.written, back.size());
    EXPECT_EQ(wrote.fault, platform::LineFault::kNone);
    EXPECT_EQ(pty.receive(back.size()), back);
}

TEST(SerialDeviceIo, CancelEndsEveryLaterWait) {
    PtyPair pty;
    SerialDevice device = open_ok(pty.path());
    device.cancel();
    pty.send("x");
    EXPECT_EQ(device.wait_for_input(), InputWait::Cancelled);
    EXPECT_EQ(device.wait_for_input(), InputWait::Cancelled);
    EXPECT_TRUE(device.wait_for_cancel_for(0));
}

TEST(SerialDeviceIo, HangUpIsReportedAndWritesReturnAtOnce) {
    PtyPair pty;
    SerialDevice device = open_ok(pty.path());
    pty.close_master();
    std::uint8_t buffer[16];
    EXPECT_EQ(device.wait_for_input(), InputWait::HungUp);
    EXPECT_EQ(device.read(buffer, sizeof buffer), -1);
    const std::string data(4608, 'T');
    platform::WriteResult wrote =
        device.write(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
    EXPECT_EQ(wrote.written, 0u);
    EXPECT_EQ(wrote.fault, platform::LineFault::kHungUp);
}

TEST(SerialDeviceLineSettings, AppliedRecordReadsBackAndRefusedOnesFail) {
    PtyPair pty;
    SerialDevice device = open_ok(pty.path());
    auto dcb = BuildDcbFromMode("57600,N,8,1");
    ASSERT_TRUE(dcb);
    ASSERT_TRUE(device.apply(*dcb));
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.slave(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | IGNCR), 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);

    // A pseudo-terminal keeps 8 data bits without parity whatever it is asked: the driver's
    // refusal must come back as a failure, not as a silent half-applied setting.
    auto seven_even = BuildDcbFromMode("9600,E,7,1");
    ASSERT_TRUE(seven_even);
    EXPECT_FALSE(device.apply(*seven_even));
    auto odd_stop = BuildDcbFromMode("9600,N,8,1.5");
    ASSERT_TRUE(odd_stop);
    EXPECT_FALSE(device.apply(*odd_stop));
}

}  // namespace
}  // namespace kadro::test
