// The profile reader and writer on arbitrary file text, names and values: nothing crashes, and
// every update that is accepted reads back as the value it stored, and a second update of the
// same entry leaves the text as the first one made it.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz/fuzz_check.h"
#include "platform/profile_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(24);
    const std::string key = input.ConsumeRandomLengthString(24);
    const std::string value = input.ConsumeRandomLengthString(48);
    const std::string text = input.ConsumeRemainingBytesAsString();

    platform::FindProfileValue(text, section, key);
    const std::optional<std::string> updated =
        platform::UpdateProfileText(text, section, key, value);
    if (!updated) {
        return 0;
    }
    // What a fresh file holding only this entry gives is what the value reads back as.
    const std::optional<std::string> alone = platform::UpdateProfileText("", section, key, value);
    FUZZ_CHECK(alone.has_value());
    const std::optional<std::string_view> expected =
        platform::FindProfileValue(*alone, section, key);
    FUZZ_CHECK(expected.has_value());
    const std::optional<std::string_view> read_back =
        platform::FindProfileValue(*updated, section, key);
    FUZZ_CHECK(read_back.has_value() && *read_back == *expected);

    // Writing the entry again gives the same text as writing it once. (A value that starts
    // with blanks is the exception: the blanks already after the '=' stay, so they add up.)
    if (value.empty() || (value.front() != ' ' && value.front() != '\t')) {
        const std::optional<std::string> again =
            platform::UpdateProfileText(*updated, section, key, value);
        FUZZ_CHECK(again.has_value() && *again == *updated);
    }
    return 0;
}
