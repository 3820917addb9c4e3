// The mode-string parser, the byte layout of the line-settings record, and its mapping onto
// terminal settings.

#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>

#include "comm/serial_port.h"
#include "platform/posix/termios_settings.h"
#include "platform/serial_settings.h"

namespace kadro::test {
namespace {

using namespace platform;

DCB parse(std::string_view mode) {
    auto dcb = BuildDcbFromMode(mode);
    EXPECT_TRUE(dcb.has_value()) << mode;
    return dcb.value_or(DefaultDcb());
}

std::uint32_t dword_at(const std::string& bytes, std::size_t offset) {
    std::uint32_t v = 0;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

TEST(ModeString, ApplicationModeGivesATransparentLineInThePlatformLayout) {
    std::string record = "junk";
    ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1", record));
    ASSERT_EQ(record.size(), 28u);
    EXPECT_EQ(dword_at(record, 0), 28u);     // DCBlength
    EXPECT_EQ(dword_at(record, 4), 57600u);  // BaudRate
    // fBinary, DTR on (bits 4-5 = 1), continue on XOFF (bit 7), RTS on (bits 12-13 = 1); no
    // parity check, no flow control of either kind, no error or NUL processing.
    EXPECT_EQ(dword_at(record, 8), 0x1091u);
    EXPECT_EQ(static_cast<unsigned char>(record[18]), 8);  // ByteSize
    EXPECT_EQ(static_cast<unsigned char>(record[19]), NOPARITY);
    EXPECT_EQ(static_cast<unsigned char>(record[20]), ONESTOPBIT);
    EXPECT_EQ(record[21], '\x11');  // XonChar
    EXPECT_EQ(record[22], '\x13');  // XoffChar

    auto dcb = DcbFromBytes(record);
    ASSERT_TRUE(dcb);
    EXPECT_EQ(dcb->fOutX + dcb->fInX + dcb->fOutxCtsFlow + dcb->fOutxDsrFlow, 0u);
    EXPECT_EQ(dcb->fNull + dcb->fErrorChar + dcb->fAbortOnError + dcb->fDsrSensitivity, 0u);
}

TEST(ModeString, CommaFormFieldsAbbreviationsAndSuffixes) {
    DCB d = parse("96,e,7,2");
    EXPECT_EQ(d.BaudRate, 9600u);
    EXPECT_EQ(d.Parity, EVENPARITY);
    EXPECT_EQ(d.fParity, 1u);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.StopBits, TWOSTOPBITS);

    d = parse(" COM3: 19,O,5,1.5 ");
    EXPECT_EQ(d.BaudRate, 19200u);
    EXPECT_EQ(d.Parity, ODDPARITY);
    EXPECT_EQ(d.ByteSize, 5);
    EXPECT_EQ(d.StopBits, ONE5STOPBITS);

    d = parse("115200");
    EXPECT_EQ(d.BaudRate, 115200u);
    EXPECT_EQ(d.ByteSize, 8);
    EXPECT_EQ(d.Parity, NOPARITY);

    d = parse("115200,m,8,1,X");
    EXPECT_EQ(d.Parity, MARKPARITY);
    EXPECT_EQ(d.fOutX, 1u);
    EXPECT_EQ(d.fInX, 1u);
    EXPECT_EQ(d.fOutxCtsFlow + d.fOutxDsrFlow, 0u);
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_ENABLE);

    d = parse("9600,s,8,1,p");
    EXPECT_EQ(d.Parity, SPACEPARITY);
    EXPECT_EQ(d.fOutX + d.fInX, 0u);
    EXPECT_EQ(d.fOutxCtsFlow, 1u);
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_HANDSHAKE);
}

TEST(ModeString, KeyValueFormSetsOnlyTheNamedFields) {
    DCB plain = parse("baud=57600 parity=N data=8 stop=1");
    std::string a = DcbToBytes(plain);
    std::string b = DcbToBytes(parse("57600,N,8,1"));
    EXPECT_EQ(a, b);

    DCB d = parse(
        "COM2: BAUD=1200 parity=e data=7 stop=2 to=on xon=on odsr=on octs=on dtr=hs "
        "rts=tg idsr=on");
    EXPECT_EQ(d.BaudRate, 1200u);
    EXPECT_EQ(d.Parity, EVENPARITY);
    EXPECT_EQ(d.ByteSize, 7);
    EXPECT_EQ(d.StopBits, TWOSTOPBITS);
    EXPECT_EQ(d.fInX, 1u);
    EXPECT_EQ(d.fOutX, 1u);
    EXPECT_EQ(d.fOutxDsrFlow, 1u);
    EXPECT_EQ(d.fOutxCtsFlow, 1u);
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_TOGGLE);
    EXPECT_EQ(d.fDsrSensitivity, 1u);

    d = parse("dtr=off rts=off");
    EXPECT_EQ(d.fDtrControl, DTR_CONTROL_DISABLE);
    EXPECT_EQ(d.fRtsControl, RTS_CONTROL_DISABLE);
    EXPECT_EQ(d.BaudRate, DefaultDcb().BaudRate);
}

TEST(ModeString, MalformedStringsAreRejectedAndLeaveAnEmptyRecord) {
    const char* bad[] = {
        "",
        "   ",
        "fast",
        "COM1:",
        "0,N,8,1",
        "57600,X,8,1",
        "57600,None,8,1",
        "57600,Even,8,1",
        "57600,no,8,1",
        "57600,N,9,1",
        "57600,N,4,1",
        "57600,N,8,3",
        "57600,N,8,1,z",
        "57600,N,8,1,x,1",
        "57600,,8,1",
        "57600,N,8,",
        "99999999999,N,8,1",
        "57600 N 8 1",
        "baud=",
        "=57600",
        "speed=57600",
        "baud=57600 parity=q",
        "baud=57600 baud=9600",
        "baud=57600 xon=maybe",
        "baud=57600,parity=N",
        "rts=sometimes",
    };
    for (const char* mode : bad) {
        std::string record = "previous";
        EXPECT_FALSE(BUILDCOMMDCB(mode, record)) << '"' << mode << '"';
        EXPECT_EQ(record, "") << mode;
    }
    EXPECT_FALSE(DcbFromBytes(std::string(27, '\0')));
    EXPECT_FALSE(DcbFromBytes(std::string(29, '\0')));
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
