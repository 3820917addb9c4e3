// The mode-string parser and the byte layout of the line-settings record.

#include <gtest/gtest.h>

#include <cstring>

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
    const std::string record = DcbToBytes(parse("57600,N,8,1"));
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
        EXPECT_FALSE(BuildDcbFromMode(mode)) << '"' << mode << '"';
    }
    EXPECT_FALSE(DcbFromBytes(std::string(27, '\0')));
    EXPECT_FALSE(DcbFromBytes(std::string(29, '\0')));
}

}  // namespace
}  // namespace kadro::test
