// The mode-string parser and the line-settings record: any string parses or is refused without
// a crash; an accepted record survives its byte form and maps onto terminal settings or is
// refused; any 28 bytes read back as a record.

#include <termios.h>

#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/serial_settings.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (std::optional<platform::DCB> dcb = platform::build_dcb_from_mode(bytes)) {
        const std::string record = platform::dcb_to_bytes(*dcb);
        FUZZ_CHECK(record.size() == sizeof(platform::DCB));
        const std::optional<platform::DCB> back = platform::dcb_from_bytes(record);
        FUZZ_CHECK(back.has_value() && platform::dcb_to_bytes(*back) == record);
        termios settings{};
        if (platform::dcb_to_termios(*dcb, settings)) {
            FUZZ_CHECK(platform::termios_output_rate(settings) == dcb->BaudRate);
        }
    }
    if (std::optional<platform::DCB> raw = platform::dcb_from_bytes(bytes)) {
        FUZZ_CHECK(size == sizeof(platform::DCB));
        termios settings{};
        platform::dcb_to_termios(*raw, settings);
    }
    return 0;
}
