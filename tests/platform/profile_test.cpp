#include "platform/profile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "platform/paths.h"
#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

std::string Get(std::string_view section, std::string_view key, std::string_view fallback = "?",
                std::string_view path = "KADRO.INI", int size = 256) {
    std::string buffer(static_cast<std::size_t>(size) + 1, '#');
    const int n = GetPrivateProfileString(section, key, fallback, buffer.data(), size, path);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], '\0');
    return buffer.substr(0, static_cast<std::size_t>(n));
}

TEST(NativePath, TurnsBackslashesIntoSlashesOnly) {
    EXPECT_EQ(platform::NativePath(".\\KADRO.INI"), "./KADRO.INI");
    EXPECT_EQ(platform::NativePath("a\\B c\\..\\d.ini"), "a/B c/../d.ini");
}

using ProfileRead = ScratchFolder;

TEST_F(ProfileRead, MissingFileSectionOrKeyGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(Get("Impostazioni", "Porta", "dflt"), "dflt");
    EXPECT_EQ(listing(), "");
    spit("KADRO.INI", "[Other]\r\nPorta=COM3\r\n[Impostazioni]\r\nAltro=1\r\n");
    EXPECT_EQ(Get("Missing", "Porta", "d1"), "d1");
    EXPECT_EQ(Get("Impostazioni", "Porta", "d2"), "d2");
    EXPECT_EQ(Get("Other", "Porta"), "COM3");
}

TEST_F(ProfileRead, MatchesNamesIgnoringCaseAndUsesBackslashPaths) {
    spit("KADRO.INI", "[ImPoStAzIoNi]\nPORTA=COM2\n");
    EXPECT_EQ(Get("impostazioni", "porta", "?", ".\\KADRO.INI"), "COM2");
}

TEST_F(ProfileRead, TrimsAndUnquotesValues) {
    spit("KADRO.INI",
         "[S]\r\n"
         "  a  = \t value with  inner \t \r\n"
         "b=\"double\"\n"
         "c= 'single' \n"
         "d=\"mixed'\n"
         "e=x=y\n"
         "f=\n"
         "g=\"\"\n"
         "q=\"\n"
         "; h=comment\n"
         "h2\n");
    EXPECT_EQ(Get("S", "a"), "value with  inner");
    EXPECT_EQ(Get("S", "b"), "double");
    EXPECT_EQ(Get("S", "c"), "single");
    EXPECT_EQ(Get("S", "d"), "\"mixed'");
    EXPECT_EQ(Get("S", "e"), "x=y");
    EXPECT_EQ(Get("S", "f"), "");
    EXPECT_EQ(Get("S", "g"), "");
    EXPECT_EQ(Get("S", "q"), "\"");
    EXPECT_EQ(Get("S", "; h"), "?");
    EXPECT_EQ(Get("S", "h"), "?");
}

TEST_F(ProfileRead, TheFirstSectionOfANameAndItsFirstEntryOfAKeyCount) {
    spit("KADRO.INI",
         "[Impostazioni]\r\n"
         "Porta=COM3\r\n"
         "porta=COM4\r\n"
         "[Other]\r\n"
         "Solo=1\r\n"
         "[IMPOSTAZIONI]\r\n"
         "Porta=COM5\r\n"
         "Altro=2\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta"), "COM3");
    EXPECT_EQ(Get("Other", "Solo"), "1");
    EXPECT_EQ(Get("Impostazioni", "Altro"), "?") << "a later section of the same name is not read";
}

TEST_F(ProfileRead, KeysBeforeAnySectionNeverMatch) {
    spit("KADRO.INI", "Porta=COM9\r\n[Impostazioni]\r\n");
    EXPECT_EQ(Get("", "Porta"), "?");
    EXPECT_EQ(Get("Impostazioni", "Porta"), "?");
}

TEST_F(ProfileRead, CutsLongValuesToTheBuffer) {
    spit("KADRO.INI", "[S]\nk=0123456789\n");
    EXPECT_EQ(Get("S", "k", "", "KADRO.INI", 5), "0123");
    EXPECT_EQ(Get("S", "k", "", "KADRO.INI", 1), "");
    EXPECT_EQ(Get("S", "zz", "defaultvalue", "KADRO.INI", 4), "def");
    char untouched = 'x';
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", &untouched, 0, "KADRO.INI"), 0);
    EXPECT_EQ(untouched, 'x');
}

TEST_F(ProfileRead, NonRegularFilesReadAsMissing) {
    ASSERT_EQ(::mkfifo("KADRO.INI", 0600), 0);
    EXPECT_EQ(Get("S", "k", "dflt"), "dflt");  // must not wait for a writer
    std::filesystem::create_directory("DIR.INI");
    EXPECT_EQ(Get("S", "k", "dflt", "DIR.INI"), "dflt");
}

using ProfileWrite = ScratchFolder;

TEST_F(ProfileWrite, CreatesAMissingFileWithExactlyTwoLines) {
    ASSERT_TRUE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    EXPECT_EQ(listing(), "KADRO.INI;");
}

TEST_F(ProfileWrite, ChangesOnlyTheLineItMustChange) {
    const std::string before =
        "; top comment\n"
        "loose=1\r\n"
        "[ Other ]  \r\n"
        "  Porta  =  COM7   \r\n"
        "\r\n"
        "[impostazioni]\n"
        "\tporta =\t\"COM2\" \n"
        ";porta=COM9\n"
        "x = y\n";
    spit("KADRO.INI", before);
    ASSERT_TRUE(WritePrivateProfileString("Impostazioni", "Porta", "COM4", "KADRO.INI"));
    std::string expected = before;
    expected.replace(expected.find("\"COM2\" "), 7, "COM4");
    EXPECT_EQ(slurp("KADRO.INI"), expected);
    EXPECT_EQ(Get("Other", "porta"), "COM7");
}

TEST_F(ProfileWrite, ChangesTheEntryThatReadsBackAndLeavesRepeatsAlone) {
    const std::string before =
        "[Impostazioni]\r\n"
        "Porta=COM3\r\n"
        "Porta=COM4\r\n"
        "[Impostazioni]\r\n"
        "Porta=COM5\r\n"
        "Altro=y\r\n";
    spit("KADRO.INI", before);
    ASSERT_TRUE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", "KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"),
              "[Impostazioni]\r\n"
              "Porta=COM1\r\n"
              "Porta=COM4\r\n"
              "[Impostazioni]\r\n"
              "Porta=COM5\r\n"
              "Altro=y\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta"), "COM1");

    // A key only the repeated section holds is new to the first one, which gets it.
    ASSERT_TRUE(WritePrivateProfileString("impostazioni", "Altro", "x", "KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"),
              "[Impostazioni]\r\n"
              "Porta=COM1\r\n"
              "Porta=COM4\r\n"
              "Altro=x\r\n"
              "[Impostazioni]\r\n"
              "Porta=COM5\r\n"
              "Altro=y\r\n");
    EXPECT_EQ(Get("Impostazioni", "Altro"), "x");
}

TEST_F(ProfileWrite, AddsAMissingKeyAfterTheLastEntryOfItsSection) {
    spit("KADRO.INI", "[A]\r\nx=1\r\n; about B\r\n\r\n[B]\ny=2\n\n\n");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "v", "KADRO.INI"));
    ASSERT_TRUE(WritePrivateProfileString("b", "z", "3", "KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[A]\r\nx=1\r\nk=v\r\n; about B\r\n\r\n[B]\ny=2\nz=3\r\n\n\n");
    spit("E.INI", "[Empty]\n\n[Next]\n");
    ASSERT_TRUE(WritePrivateProfileString("Empty", "k", "v", "E.INI"));
    EXPECT_EQ(slurp("E.INI"), "[Empty]\nk=v\r\n\n[Next]\n");
}

TEST_F(ProfileWrite, AppendsAMissingSectionAndEndsAnUnendedLastLine) {
    spit("KADRO.INI", "[A]\r\nx=1");
    ASSERT_TRUE(WritePrivateProfileString("B", "k", "v", "KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
    spit("L.INI", "[A]\r\nx=1");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "v", "L.INI"));
    EXPECT_EQ(slurp("L.INI"), "[A]\r\nx=1\r\nk=v\r\n");
    spit("Z.INI", "");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "v", "Z.INI"));
    EXPECT_EQ(slurp("Z.INI"), "[A]\r\nk=v\r\n");
}

TEST_F(ProfileWrite, KeepsPermissionBitsAndSymbolicLinks) {
    spit("real.ini", "[A]\nk=1\n");
    ASSERT_EQ(::chmod("real.ini", 0640), 0);
    std::filesystem::create_symlink("real.ini", "KADRO.INI");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "2", "KADRO.INI"));
    EXPECT_TRUE(std::filesystem::is_symlink("KADRO.INI"));
    EXPECT_EQ(slurp("real.ini"), "[A]\nk=2\n");
    struct stat info {};
    ASSERT_EQ(::stat("real.ini", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(listing(), "KADRO.INI;real.ini;");
}

TEST_F(ProfileWrite, AReadOnlyFileIsNotReplacedEvenWhenTheFolderAllowsIt) {
    const std::string before = "[Impostazioni]\r\nPorta=\r\n";
    spit("KADRO.INI", before);
    ASSERT_EQ(::chmod("KADRO.INI", 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), before);
    struct stat info {};
    ASSERT_EQ(::stat("KADRO.INI", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(listing(), "KADRO.INI;");
}

TEST_F(ProfileWrite, RefusesTextThatWouldNotReadBack) {
    const std::string before = "[A]\r\nk=1\r\n";
    spit("KADRO.INI", before);
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "1\r\n[Evil]\r\nx=y", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("A]\r\n[B", "k", "v", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("A", "k=j", "v", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("A", ";k", "v", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("A", " ", "v", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("", "k", "v", "KADRO.INI"));
    EXPECT_FALSE(WritePrivateProfileString("A", "k", std::string_view("a\0b", 3), "KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), before);
}

TEST_F(ProfileWrite, FailureLeavesEverythingAsItWas) {
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", "nowhere\\KADRO.INI"));
    std::filesystem::create_directory("DIR.INI");
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", "DIR.INI"));
    ASSERT_EQ(::mkfifo("FIFO.INI", 0600), 0);
    EXPECT_FALSE(WritePrivateProfileString("A", "k", "v", "FIFO.INI"));
    EXPECT_EQ(listing(), "DIR.INI;FIFO.INI;");

    // A write that runs out of room half-way (file size limit) must not replace the original.
    const std::string before = "[A]\r\nk=" + std::string(3000, 'o') + "\r\n";
    spit("KADRO.INI", before);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    const bool written = WritePrivateProfileString("A", "k", std::string(3000, 'n'), "KADRO.INI") ||
                         WritePrivateProfileString("A", "new", "v", "KADRO.INI");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(written);
    EXPECT_EQ(slurp("KADRO.INI"), before);
    EXPECT_EQ(listing(), "DIR.INI;FIFO.INI;KADRO.INI;");
}

TEST_F(ProfileWrite, UnreadableFileOrReadOnlyFolderRefusesTheWrite) {
    spit("KADRO.INI", "[A]\nk=1\n");
    spit("SECRET.INI", "[A]\nk=1\n");
    // Root would read and write past the permission bits: the writes run as a user who owns
    // the folder and the files but is bound by their bits.
    ASSERT_TRUE(GiveToUnprivilegedUser({".", "KADRO.INI", "SECRET.INI"}));
    ASSERT_EQ(::chmod("SECRET.INI", 0200), 0);
    const auto write = [](const char* file, const char* value) {
        return RunUnprivileged(
            [=] { return WritePrivateProfileString("A", "k", value, file) ? 1 : 0; });
    };

    // Rewriting a file that could not be read would throw its contents away.
    EXPECT_EQ(write("SECRET.INI", "2"), 0) << "1: the unreadable file was rewritten";
    EXPECT_EQ(write("KADRO.INI", "2"), 1) << "the same user may write a readable file there";
    ASSERT_EQ(::chmod("SECRET.INI", 0600), 0);
    EXPECT_EQ(slurp("SECRET.INI"), "[A]\nk=1\n");
    EXPECT_EQ(slurp("KADRO.INI"), "[A]\nk=2\n");

    ASSERT_EQ(::chmod(".", 0555), 0);
    EXPECT_EQ(write("KADRO.INI", "3"), 0) << "1: written although the folder is read-only";
    EXPECT_EQ(slurp("KADRO.INI"), "[A]\nk=2\n");
    EXPECT_EQ(listing(), "KADRO.INI;SECRET.INI;");
}

}  // namespace
}  // namespace kadro::test
