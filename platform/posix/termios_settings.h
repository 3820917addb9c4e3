#pragma once
// Private to posix/: a line-settings record (platform/serial_settings.h) as terminal settings.
//
// DcbToTermios(dcb, out) changes only what the record governs and always asks for a raw line:
// no echo, no signals, no canonical input, no CR/LF translation, no output processing. False,
// leaving `out` unspecified, for a record the terminal driver cannot honour (the cases listed at
// ApplySerialSettings).
// TermiosOutputRate(settings): bits per second of the output speed in `settings`; 0 when the
// speed is not a known rate. Neither fails otherwise.

#include <termios.h>

#include <cstdint>

#include "platform/serial_settings.h"

namespace platform {

bool DcbToTermios(const DCB& dcb, termios& out);
std::uint32_t TermiosOutputRate(const termios& settings);

}  // namespace platform
