// The dialog-template reader on arbitrary bytes: it accepts or refuses without reading past
// the end (AddressSanitizer sees every byte it touches, the input being an exact-size copy).

#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/dialog_template.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (std::optional<platform::DialogTemplate> parsed = platform::ParseDialogTemplate(bytes)) {
        // Every item takes at least its 18 fixed bytes.
        FUZZ_CHECK(18 + parsed->items.size() * 18 <= size);
    }
    return 0;
}
