#pragma once
// The OEM code page conversion that dialog templates use for their titles and class names.
//
// The OEM code page is taken as 850 (Western European), the one of the desktops the program was
// written for. Every byte maps to exactly one UTF-16 unit; the conversion cannot fail.

#include <string>
#include <string_view>

namespace kadro {

char16_t OemToUtf16(unsigned char byte);
// The text up to its first NUL as little-endian UTF-16 bytes with a terminating zero unit.
std::string OemToUtf16Bytes(std::string_view text);

}  // namespace kadro
