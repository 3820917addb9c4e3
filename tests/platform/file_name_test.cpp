// File names between the program's code-page text and UTF-8 names on disk: the conversion both
// ways, and the listing and deletion calls that rely on it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/text.h"
#include "testing/scratch_folder.h"

namespace kadro::test {
namespace {

using platform::NameFromUtf8;
using platform::TextToUtf8;

TEST(FileNameText, CodePageNamesBecomeUtf8AndComeBackUnchanged) {
    const std::pair<std::string, std::string> names[] = {
        {"KADRO.INI", "KADRO.INI"},         {"d\xECsco \xE8.vks", "d\xC3\xACsco \xC3\xA8.vks"},
        {"caf\xE9.vks", "caf\xC3\xA9.vks"}, {"prezzo \x80.vks", "prezzo \xE2\x82\xAC.vks"},
        {"\x7FVIEW1.NTX", "\x7FVIEW1.NTX"},
    };
    for (const auto& [text, on_disk] : names) {
        SCOPED_TRACE(on_disk);
        EXPECT_EQ(TextToUtf8(text), on_disk);
        EXPECT_EQ(NameFromUtf8(on_disk), std::optional<std::string>(text));
    }
}

TEST(FileNameText, TheChoosersUtf8FormIsKeptAndNamesOutsideTheCodePageStayUtf8) {
    // The chooser returns UTF-8 only for a path with a character beyond 255.
    EXPECT_EQ(TextToUtf8("prezzo \xE2\x82\xAC.vks"), "prezzo \xE2\x82\xAC.vks");
    const std::string greek = "\xCE\xB1\xCE\xB2.vks";  // no code-page form
    EXPECT_EQ(TextToUtf8(greek), greek);
    EXPECT_EQ(NameFromUtf8(greek), std::optional<std::string>(greek));
    // UTF-8 whose characters all fit one byte is code-page text that happens to be valid UTF-8.
    EXPECT_EQ(TextToUtf8("\xC3\xA9"), "\xC3\x83\xC2\xA9");
}

TEST(FileNameText, NamesNoProgramTextLeadsBackToHaveNone) {
    EXPECT_EQ(NameFromUtf8("caf\xE9.vks"), std::nullopt) << "Latin-1 bytes on disk";
    EXPECT_EQ(NameFromUtf8("\xC2\x80"), std::nullopt) << "a C1 control the page lacks";
    // The code-page text of "Ä¡" would be read as UTF-8 "ġ": the name cannot be reached.
    EXPECT_EQ(NameFromUtf8("\xC3\x84\xC2\xA1"), std::nullopt);
}

class FileNameListing : public ScratchFolder {};

TEST_F(FileNameListing, CleanUpSeesProgramTextAndLeavesUnnameableFilesAlone) {
    spit(
        "\x7F"
        "caf\xC3\xA9",
        "x");  // UTF-8 on disk
    spit(
        "\x7F"
        "caf\xE9",
        "x");  // Latin-1 on disk: no program text
    spit(
        "\x7F"
        "\xE2\x82\xAC",
        "x");  // the euro sign
    spit("keep.vks", "x");
    std::vector<std::string> offered;
    platform::DeletePlainFiles(
        "",
        [&](std::string_view name) {
            offered.emplace_back(name);
            return name.front() == '\x7F';
        },
        platform::HiddenFiles::kSkip, platform::OnFailure::kContinue);
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(offered, (std::vector<std::string>{"keep.vks",
                                                 "\x7F"
                                                 "caf\xE9",
                                                 "\x7F\x80"}));
    EXPECT_FALSE(
        std::filesystem::exists("\x7F"
                                "caf\xC3\xA9"));
    EXPECT_FALSE(
        std::filesystem::exists("\x7F"
                                "\xE2\x82\xAC"));
    EXPECT_TRUE(
        std::filesystem::exists("\x7F"
                                "caf\xE9"));
    EXPECT_TRUE(std::filesystem::exists("keep.vks"));
}

TEST_F(FileNameListing, SingleFileCallsTakeCodePageNames) {
    spit("caf\xC3\xA9.tmp", "x");
    EXPECT_TRUE(platform::IsPlainFile("caf\xE9.tmp"));
    EXPECT_TRUE(platform::DeletePlainFile("caf\xE9.tmp"));
    EXPECT_FALSE(std::filesystem::exists("caf\xC3\xA9.tmp"));
    std::filesystem::create_directory("d\xC3\xACr");
    EXPECT_TRUE(platform::RemoveEmptyFolder("d\xECr"));
    EXPECT_FALSE(std::filesystem::exists("d\xC3\xACr"));
}

}  // namespace
}  // namespace kadro::test
