// The line-settings record as terminal settings: a raw line, the fields carried, and what the
// terminal cannot honour refused.

#include <gtest/gtest.h>
#include <termios.h>

#include "platform/posix/termios_settings.h"
#include "platform/serial_settings.h"

namespace kadro::test {
namespace {

using namespace platform;

// The record of a mode string the parser accepts (its own suite checks which ones).
DCB parse(std::string_view mode) {
    return BuildDcbFromMode(mode).value();
}

TEST(LineSettingsMapping, ApplicationRecordGivesARawLineWithoutFlowControl) {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | CSTOPB | CRTSCTS;
    ASSERT_TRUE(DcbToTermios(parse("57600,N,8,1"), t));
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(cfgetospeed(&t), static_cast<speed_t>(B57600));
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXOFF | ISTRIP | INLCR | IGNCR), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
}

TEST(LineSettingsMapping, ParityStopBitsAndRequestedFlowControlAreCarried) {
    termios t{};
    ASSERT_TRUE(DcbToTermios(parse("9600,E,7,2"), t));
    EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
              static_cast<tcflag_t>(CS7 | PARENB | CSTOPB));
    EXPECT_NE(t.c_iflag & INPCK, 0u);

    ASSERT_TRUE(DcbToTermios(parse("9600,O,8,1"), t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | PARODD));

    // Stick parity: with CMSPAR the parity bit is always 1 when PARODD is set (mark) and always
    // 0 when it is not (space).
    ASSERT_TRUE(DcbToTermios(parse("9600,M,8,1"), t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR),
              static_cast<tcflag_t>(PARENB | PARODD | CMSPAR));
    ASSERT_TRUE(DcbToTermios(parse("9600,S,8,1"), t));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));

    ASSERT_TRUE(DcbToTermios(parse("9600,N,8,1,x"), t));
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_EQ(t.c_cc[VSTART], 0x11);
    EXPECT_EQ(t.c_cc[VSTOP], 0x13);

    ASSERT_TRUE(DcbToTermios(parse("baud=9600 octs=on"), t));
    EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
}

TEST(LineSettingsMapping, SettingsTheTerminalCannotHonourAreRefused) {
    termios t{};
    EXPECT_FALSE(DcbToTermios(parse("57600,N,8,1.5"), t));
    EXPECT_FALSE(DcbToTermios(parse("12345,N,8,1"), t));
    EXPECT_FALSE(DcbToTermios(parse("9600,N,8,1,p"), t));  // DSR flow has no equivalent
    EXPECT_FALSE(DcbToTermios(parse("baud=9600 odsr=on"), t));
    EXPECT_FALSE(DcbToTermios(parse("baud=9600 idsr=on"), t));
    EXPECT_FALSE(DcbToTermios(parse("baud=9600 dtr=hs"), t));
    EXPECT_FALSE(DcbToTermios(parse("baud=9600 rts=tg"), t));
    DCB d = parse("57600,N,8,1");
    d.fNull = 1;
    EXPECT_FALSE(DcbToTermios(d, t));
    d = parse("57600,N,8,1");
    d.ByteSize = 9;
    EXPECT_FALSE(DcbToTermios(d, t));
}

}  // namespace
}  // namespace kadro::test
