// Message box layout on arbitrary text and screens: the box always fits the screen, and no
// line is wider than the text column.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/message_box_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    platform::MessageBoxShape shape;
    shape.has_icon = input.ConsumeBool();
    shape.button_count = input.ConsumeIntegralInRange(1, 3);
    shape.screen.right = input.ConsumeIntegralInRange(0, 5000);
    shape.screen.bottom = input.ConsumeIntegralInRange(0, 3000);
    shape.line_height = input.ConsumeIntegralInRange(1, 64);
    const int glyph = input.ConsumeIntegralInRange(0, 40);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const auto measure = [glyph](std::string_view piece) {
        int width = 0;
        for (char c : piece) {
            width += static_cast<unsigned char>(c) % 7 == 0 ? 2 * glyph : glyph;
        }
        return width;
    };
    const platform::MessageBoxLayout layout = platform::LayOutMessageBox(text, shape, measure);
    FUZZ_CHECK(layout.client_width >= 1 && layout.client_height >= 1);
    FUZZ_CHECK(layout.client_width <= std::max(1, shape.screen.width()));
    FUZZ_CHECK(layout.client_height <= std::max(1, shape.screen.height()));
    FUZZ_CHECK(layout.line_count >= 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t end = layout.text.find("\r\n", start);
        const std::string_view line =
            std::string_view(layout.text)
                .substr(start, end == std::string::npos ? std::string::npos : end - start);
        // A single character wider than the column is the one exception.
        FUZZ_CHECK(measure(line) <= layout.text_width || line.size() <= 1);
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return 0;
}
