// The mode-string parser and the line-settings record: any string parses or is refused without
// a crash; an accepted record survives its byte form and maps onto terminal settings or is
// refused; any 28 bytes read back as a record.

#include <termios.h>

#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/posix/termios_settings.h"
#include "platform/serial_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (std::optional<platform::DCB> dcb = platform::BuildDcbFromMode(bytes)) {
        const std::string record = platform::DcbToBytes(*dcb);
        FUZZ_CHECK(record.size() == sizeof(platform::DCB));
        const std::optional<platform::DCB> back = platform::DcbFromBytes(record);
        FUZZ_CHECK(back.has_value() && platform::DcbToBytes(*back) == record);
        termios settings{};
        if (platform::DcbToTermios(*dcb, settings)) {
            FUZZ_CHECK(platform::TermiosOutputRate(settings) == dcb->BaudRate);
        }
    }
    if (std::optional<platform::DCB> raw = platform::DcbFromBytes(bytes)) {
        FUZZ_CHECK(size == sizeof(platform::DCB));
        termios settings{};
        platform::DcbToTermios(*raw, settings);
    }
    return 0;
}
