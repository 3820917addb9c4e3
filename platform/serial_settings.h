#pragma once
// The line settings of a serial device: the device-control record, laid out byte for byte like
// the desktop platform's 28-byte record, the parser of the mode strings that fill it, and
// applying a record to an open device.
//
// Contract:
// - BuildDcbFromMode() is the system's parser: BuildCommDCBA on Windows (starting from
//   DefaultDcb(), so the fields the string does not name are defined), ParseModeString()
//   elsewhere. nullopt for a string the parser rejects.
// - ParseModeString() is our own parser of the syntax. It accepts the comma form
//   "baud[,parity[,data[,stop[,x|p]]]]" and the key=value form "baud=.. parity=.. data=..
//   stop=.. to=.. xon=.. odsr=.. octs=.. dtr=.. rts=.. idsr=..", each optionally preceded by a
//   device prefix such as "COM1:". Fields that the string does not name keep the values of
//   DefaultDcb(), which describe a transparent line: 8 data bits, no parity, 1 stop bit, no
//   flow control of either kind, no error or NUL processing, DTR and RTS on. In the comma form
//   the flow-control suffix (or its absence) sets every flow field, as the platform does. A
//   malformed string yields nullopt; nothing else is reported.
// - DcbToBytes() / DcbFromBytes() carry the record as a byte string; DcbFromBytes() refuses any
//   length other than 28.
// - ApplySerialSettings(device, dcb) sets the line of an open serial device: `device` is a
//   terminal's file descriptor on POSIX, a communications HANDLE on Windows. On POSIX only what
//   the record governs changes, the line is made raw (no echo, no signals, no canonical input,
//   no CR/LF translation, no output processing), and the result is false, changing nothing,
//   for a record the terminal driver cannot honour (speed not in the standard table, 1.5 stop
//   bits, data bits outside 5..8, DSR-based flow control or sensitivity, DTR handshake, RTS
//   toggle, error-character replacement, NUL discarding, non-binary mode), and false as well
//   when the driver did not keep every setting asked for. On Windows the record goes to
//   SetCommState unchanged; false when the system refuses it.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

constexpr std::uint8_t NOPARITY = 0;
constexpr std::uint8_t ODDPARITY = 1;
constexpr std::uint8_t EVENPARITY = 2;
constexpr std::uint8_t MARKPARITY = 3;
constexpr std::uint8_t SPACEPARITY = 4;

constexpr std::uint8_t ONESTOPBIT = 0;
constexpr std::uint8_t ONE5STOPBITS = 1;
constexpr std::uint8_t TWOSTOPBITS = 2;

constexpr std::uint32_t DTR_CONTROL_DISABLE = 0;
constexpr std::uint32_t DTR_CONTROL_ENABLE = 1;
constexpr std::uint32_t DTR_CONTROL_HANDSHAKE = 2;

constexpr std::uint32_t RTS_CONTROL_DISABLE = 0;
constexpr std::uint32_t RTS_CONTROL_ENABLE = 1;
constexpr std::uint32_t RTS_CONTROL_HANDSHAKE = 2;
constexpr std::uint32_t RTS_CONTROL_TOGGLE = 3;

// Bit fields are allocated from the least significant bit of their 32-bit unit on this
// compiler and ABI, which is the order the desktop platform's record uses.
struct DCB {
    std::uint32_t DCBlength;
    std::uint32_t BaudRate;
    std::uint32_t fBinary : 1;
    std::uint32_t fParity : 1;
    std::uint32_t fOutxCtsFlow : 1;
    std::uint32_t fOutxDsrFlow : 1;
    std::uint32_t fDtrControl : 2;
    std::uint32_t fDsrSensitivity : 1;
    std::uint32_t fTXContinueOnXoff : 1;
    std::uint32_t fOutX : 1;
    std::uint32_t fInX : 1;
    std::uint32_t fErrorChar : 1;
    std::uint32_t fNull : 1;
    std::uint32_t fRtsControl : 2;
    std::uint32_t fAbortOnError : 1;
    std::uint32_t fDummy2 : 17;
    std::uint16_t wReserved;
    std::uint16_t XonLim;
    std::uint16_t XoffLim;
    std::uint8_t ByteSize;
    std::uint8_t Parity;
    std::uint8_t StopBits;
    char XonChar;
    char XoffChar;
    char ErrorChar;
    char EofChar;
    char EvtChar;
    std::uint16_t wReserved1;
};
static_assert(sizeof(DCB) == 28, "the record must keep the platform's 28-byte layout");

// The record a parse starts from: a transparent 9600-baud, 8N1 line without flow control.
DCB DefaultDcb();

std::optional<DCB> BuildDcbFromMode(std::string_view mode);
std::optional<DCB> ParseModeString(std::string_view mode);

std::string DcbToBytes(const DCB& dcb);
std::optional<DCB> DcbFromBytes(std::string_view bytes);

bool ApplySerialSettings(std::intptr_t device, const DCB& dcb);

}  // namespace platform
