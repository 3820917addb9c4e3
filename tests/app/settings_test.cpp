#include "app/settings.h"

#include "platform/text.h"
#include "testing/scratch_dir.h"

namespace {

using kadro::GETPVPROFSTRING;
using kadro::WRITEPPROSTRING;

using Settings = kadro_test::ScratchDir;

TEST_F(Settings, ThePortIsWrittenAsCom1WhenMissingAndThenReadBack) {
    const std::string port = GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI");
    EXPECT_EQ(port, "");
    EXPECT_EQ(listing(), "");
    ASSERT_TRUE(platform::IsBlank(port));
    ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI"), "COM1");
}

TEST_F(Settings, ReadGivesDefaultEmptyOrAtMost4094Bytes) {
    const std::string value(5000, 'v');
    spit("KADRO.INI", "[S]\r\nempty=\r\nlong=" + value + "\r\n");
    EXPECT_EQ(GETPVPROFSTRING("S", "empty", "dflt", "KADRO.INI"), "");
    EXPECT_EQ(GETPVPROFSTRING("S", "missing", "dflt", "KADRO.INI"), "dflt");
    EXPECT_EQ(GETPVPROFSTRING("S", "long", "", "KADRO.INI"), value.substr(0, 4094));
    EXPECT_EQ(GETPVPROFSTRING("S", "missing", value, "KADRO.INI"), value.substr(0, 4094));
}

TEST_F(Settings, WriteReportsFailure) {
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", "no\\such\\KADRO.INI"));
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1\r\n[X]", "KADRO.INI"));
    EXPECT_EQ(listing(), "");
}

TEST(IsBlank, OnlyBlanksTabsAndLineBreaksAreBlank) {
    EXPECT_TRUE(platform::IsBlank(""));
    EXPECT_TRUE(platform::IsBlank(" \t\r\n "));
    EXPECT_FALSE(platform::IsBlank(" COM1 "));
    EXPECT_FALSE(platform::IsBlank(std::string_view("\0", 1)));
}

}  // namespace
