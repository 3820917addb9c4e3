#include "app/settings.h"

#include <unistd.h>

#include "platform/profile.h"
#include "platform/text.h"
#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

using Settings = ScratchFolder;

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
    using namespace std::string_literals;
    const std::string value(5000, 'v');
    // A byte-order mark before the first section is skipped; a NUL ends its value.
    spit("KADRO.INI",
         "\xEF\xBB\xBF[S]\r\nempty=\r\nlong=" + value + "\r\nport=/dev/ttyS9\0junk\r\n"s);
    EXPECT_EQ(GETPVPROFSTRING("S", "empty", "dflt", "KADRO.INI"), "");
    EXPECT_EQ(GETPVPROFSTRING("S", "missing", "dflt", "KADRO.INI"), "dflt");
    EXPECT_EQ(GETPVPROFSTRING("S", "long", "", "KADRO.INI"), value.substr(0, 4094));
    EXPECT_EQ(GETPVPROFSTRING("S", "missing", value, "KADRO.INI"), value.substr(0, 4094));
    EXPECT_EQ(GETPVPROFSTRING("S", "port", "", "KADRO.INI"), "/dev/ttyS9");
}

TEST_F(Settings, WriteReportsFailure) {
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", "no\\such\\KADRO.INI"));
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1\r\n[X]", "KADRO.INI"));
    EXPECT_EQ(listing(), "");
}

// A file that is there but cannot be read gives the default, which must not pass for a missing
// entry: the operator is told which file and why.
TEST_F(Settings, AFileThatCannotBeReadIsNamedWithTheReason) {
    const std::string problem = "Impossibile leggere il file delle impostazioni ";
    EXPECT_EQ(SettingsFileProblem(".\\KADRO.INI"), std::nullopt);
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=COM2\r\n");
    EXPECT_EQ(SettingsFileProblem(".\\KADRO.INI"), std::nullopt);

    ASSERT_TRUE(std::filesystem::create_directory("DIR.INI"));
    EXPECT_EQ(SettingsFileProblem(".\\DIR.INI"), problem + "DIR.INI (non \xE8 un file normale).");
    spit("BIG.INI", "[Impostazioni]\r\nPorta=COM2\r\n");
    ASSERT_EQ(::truncate("BIG.INI", static_cast<off_t>(platform::kMaxProfileFileBytes + 1)), 0);
    EXPECT_EQ(SettingsFileProblem("BIG.INI"), problem + "BIG.INI (file troppo grande).");
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", "BIG.INI"), "");

    // No permission, tried as an ordinary user (CI runs as root, which reads anything).
    ASSERT_TRUE(GiveToUnprivilegedUser({".", "KADRO.INI"}));
    ASSERT_EQ(::chmod("KADRO.INI", 0200), 0);
    EXPECT_EQ(RunUnprivileged([&] {
                  return SettingsFileProblem(".\\KADRO.INI") ==
                             problem + "KADRO.INI (accesso negato)." &&
                         GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI").empty();
              }),
              1);
}

TEST(IsBlank, OnlyBlanksTabsAndLineBreaksAreBlank) {
    EXPECT_TRUE(platform::IsBlank(""));
    EXPECT_TRUE(platform::IsBlank(" \t\r\n "));
    EXPECT_FALSE(platform::IsBlank(" COM1 "));
    EXPECT_FALSE(platform::IsBlank(std::string_view("\0", 1)));
}

}  // namespace
}  // namespace kadro::test
