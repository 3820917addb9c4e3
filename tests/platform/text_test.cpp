#include "platform/text.h"

#include <gtest/gtest.h>

namespace kadro::test {
namespace {

using platform::IsValidUtf8;
using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

// Found by the fuzzer: an overlong four-byte form passed as valid and decoded to a character
// whose own encoding is two bytes, so a name would not convert back to itself.
TEST(Utf8, OnlyShortestFormsOfRealCharactersAreWellFormed) {
    const std::string found_by_fuzzer =
        " \xF0\x80\x9F\x98"
        "ds \xF0\x9F\x98\x80";
    EXPECT_FALSE(IsValidUtf8(found_by_fuzzer));
    for (const char* bad : {"\xE0\x80\xAF", "\xE0\x9F\xBF", "\xF0\x8F\xBF\xBF", "\xED\xA0\x80",
                            "\xED\xBF\xBF", "\xF4\x90\x80\x80", "\xC0\xAF", "\xE2\x82"}) {
        EXPECT_FALSE(IsValidUtf8(bad)) << bad;
        EXPECT_EQ(Utf8ToUtf16(bad).front(), u'\uFFFD') << bad;
    }
    for (const char* good : {"caf\xC3\xA9", "\xE0\xA0\x80", "\xED\x9F\xBF", "\xEE\x80\x80",
                             "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "\xE2\x82\xAC"}) {
        EXPECT_TRUE(IsValidUtf8(good)) << good;
        EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(good)), good);
    }
}

}  // namespace
}  // namespace kadro::test
