#pragma once
// The device-control record of a serial line, laid out byte for byte like the desktop
// platform's 28-byte record, with the parser of the mode-string syntax that fills it and the
// mapping of a record onto POSIX terminal settings.
//
// Contract:
// - build_dcb_from_mode() is the platform's parser: BuildCommDCBA on Windows (starting from
//   default_dcb(), so the fields the string does not name are defined), parse_mode_string()
//   elsewhere. nullopt for a string the parser rejects.
// - parse_mode_string() is our own parser of the syntax. It accepts the comma form
//   "baud[,parity[,data[,stop[,x|p]]]]" and the key=value form "baud=.. parity=.. data=..
//   stop=.. to=.. xon=.. odsr=.. octs=.. dtr=.. rts=.. idsr=..", each optionally preceded by a
//   device prefix such as "COM1:". Fields that the string does not name keep the values of
//   default_dcb(), which describe a transparent line: 8 data bits, no parity, 1 stop bit, no
//   flow control of either kind, no error or NUL processing, DTR and RTS on. In the comma form
//   the flow-control suffix (or its absence) sets every flow field, as the platform does. A
//   malformed string yields nullopt; nothing else is reported.
// - dcb_to_termios() (POSIX builds only) changes only what the record governs and returns
//   false, leaving `out` unspecified, for a record the POSIX line discipline cannot honour
//   (speed not in the standard table, 1.5 stop bits, data bits outside 5..8, DSR-based flow
//   control or sensitivity, DTR handshake, RTS toggle, error-character replacement, NUL
//   discarding, non-binary mode). It always asks for a raw line: no echo, no signals, no
//   canonical input, no CR/LF translation, no output processing.
// - dcb_to_bytes() / dcb_from_bytes() carry the record as a byte string; dcb_from_bytes()
//   refuses any length other than 28.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct termios;

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
DCB default_dcb();

std::optional<DCB> build_dcb_from_mode(std::string_view mode);
std::optional<DCB> parse_mode_string(std::string_view mode);

std::string dcb_to_bytes(const DCB& dcb);
std::optional<DCB> dcb_from_bytes(std::string_view bytes);

bool dcb_to_termios(const DCB& dcb, termios& out);
// Bits per second of the output speed in `settings`; 0 when the speed is not a known rate.
std::uint32_t termios_output_rate(const termios& settings);

}  // namespace platform
