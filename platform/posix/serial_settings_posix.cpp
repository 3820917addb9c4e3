// Line settings on POSIX: our own mode-string parser, and a line-settings record as terminal
// settings.

#include <termios.h>

#include <array>

#include "platform/posix/termios_settings.h"
#include "platform/serial_settings.h"

namespace platform {

namespace {

struct SpeedEntry {
    std::uint32_t rate;
    speed_t code;
};

constexpr std::array<SpeedEntry, 30> kSpeeds{{
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
}};

}  // namespace

std::optional<DCB> BuildDcbFromMode(std::string_view mode) {
    return ParseModeString(mode);
}

std::uint32_t TermiosOutputRate(const termios& settings) {
    speed_t code = cfgetospeed(&settings);
    for (const auto& entry : kSpeeds) {
        if (entry.code == code) {
            return entry.rate;
        }
    }
    return 0;
}

bool DcbToTermios(const DCB& dcb, termios& out) {
    speed_t speed = B0;
    for (const auto& entry : kSpeeds) {
        if (entry.rate == dcb.BaudRate) {
            speed = entry.code;
        }
    }
    if (speed == B0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        (dcb.StopBits != ONESTOPBIT && dcb.StopBits != TWOSTOPBITS)) {
        return false;
    }
    // Lines and behaviours the terminal driver has no setting for are refused rather than
    // silently dropped.
    if (dcb.fBinary == 0 || dcb.fOutxDsrFlow != 0 || dcb.fDsrSensitivity != 0 ||
        dcb.fDtrControl == DTR_CONTROL_HANDSHAKE || dcb.fRtsControl == RTS_CONTROL_TOGGLE ||
        dcb.fErrorChar != 0 || dcb.fNull != 0) {
        return false;
    }

    out.c_iflag &=
        ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                               IXOFF | IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    out.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    out.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    out.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    out.c_cflag |= CLOCAL | CREAD;

    static constexpr std::array<tcflag_t, 4> kSizes{CS5, CS6, CS7, CS8};
    out.c_cflag |= kSizes[dcb.ByteSize - 5];
    switch (dcb.Parity) {
        case ODDPARITY:
            out.c_cflag |= PARENB | PARODD;
            break;
        case EVENPARITY:
            out.c_cflag |= PARENB;
            break;
        case MARKPARITY:
            out.c_cflag |= PARENB | CMSPAR | PARODD;
            break;
        case SPACEPARITY:
            out.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    if (dcb.fParity != 0 && dcb.Parity != NOPARITY) {
        out.c_iflag |= INPCK;
    }
    if (dcb.StopBits == TWOSTOPBITS) {
        out.c_cflag |= CSTOPB;
    }
    if (dcb.fOutX != 0) {
        out.c_iflag |= IXON;
    }
    if (dcb.fInX != 0) {
        out.c_iflag |= IXOFF;
    }
    if (dcb.fOutX != 0 || dcb.fInX != 0) {
        out.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
        out.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    }
    if (dcb.fOutxCtsFlow != 0 || dcb.fRtsControl == RTS_CONTROL_HANDSHAKE) {
        out.c_cflag |= CRTSCTS;
    }
    // A read with nothing waiting must report "nothing" (EAGAIN on a non-blocking descriptor)
    // rather than end-of-file, so that a hang-up can be told apart.
    out.c_cc[VMIN] = 1;
    out.c_cc[VTIME] = 0;
    return cfsetispeed(&out, speed) == 0 && cfsetospeed(&out, speed) == 0;
}

bool ApplySerialSettings(std::intptr_t device, const DCB& dcb) {
    const int fd = static_cast<int>(device);
    termios current{};
    if (::tcgetattr(fd, &current) != 0) {
        return false;
    }
    termios wanted = current;
    if (!DcbToTermios(dcb, wanted) || ::tcsetattr(fd, TCSANOW, &wanted) != 0) {
        return false;
    }
    // tcsetattr succeeds when any part was taken; read back what the driver kept.
    termios kept{};
    if (::tcgetattr(fd, &kept) != 0) {
        return false;
    }
    constexpr tcflag_t kCflags = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
    constexpr tcflag_t kIflags =
        IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR | ISTRIP | INPCK | PARMRK | BRKINT | IGNBRK;
    constexpr tcflag_t kLflags = ECHO | ICANON | ISIG | IEXTEN;
    return ::cfgetispeed(&kept) == ::cfgetispeed(&wanted) &&
           ::cfgetospeed(&kept) == ::cfgetospeed(&wanted) &&
           (kept.c_cflag & kCflags) == (wanted.c_cflag & kCflags) &&
           (kept.c_iflag & kIflags) == (wanted.c_iflag & kIflags) &&
           (kept.c_lflag & kLflags) == (wanted.c_lflag & kLflags) &&
           (kept.c_oflag & OPOST) == (wanted.c_oflag & OPOST);
}

}  // namespace platform
