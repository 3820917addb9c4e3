// Settings files: reading, writing in place, and files as they are found on disk (byte-order
// marks, CR line ends, NUL bytes, huge, unreadable or unwritable files, and temporary files left
// by an interrupted write).

#include "platform/profile.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/paths.h"
#include "platform/temporary_file_internal.h"
#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

using platform::CheckProfileFile;
using platform::GetPrivateProfileString;
using platform::ProfileFileAccess;
using platform::WritePrivateProfileString;

std::string Get(std::string_view section, std::string_view key, std::string_view path = "KADRO.INI",
                std::string_view fallback = "?", int size = 256) {
    std::string buffer(static_cast<std::size_t>(size) + 1, '#');
    const int n = GetPrivateProfileString(section, key, fallback, buffer.data(), size, path);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], '\0');
    return buffer.substr(0, static_cast<std::size_t>(n));
}

// The file `name` after it held `before` and `key` in `section` was set to `value`.
std::string after_writing(const std::string& before, std::string_view section, std::string_view key,
                          std::string_view value, const std::string& name = "KADRO.INI") {
    spit(name, before);
    EXPECT_TRUE(WritePrivateProfileString(section, key, value, name)) << name;
    return slurp(name);
}

// The permission bits of the file `name` (all bits set when there is none).
unsigned permission_bits(const std::string& name) {
    struct stat info {};
    return ::stat(name.c_str(), &info) == 0 ? info.st_mode & 07777 : ~0u;
}

// A settings file written with `before` and then Porta set to COM1 in Impostazioni.
std::string after_writing_com1(const std::string& before, const std::string& name = "KADRO.INI") {
    return after_writing(before, "Impostazioni", "Porta", "COM1", name);
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

TEST(NativePath, TurnsBackslashesIntoSlashesOnly) {
    EXPECT_EQ(platform::NativePath(".\\KADRO.INI"), "./KADRO.INI");
    EXPECT_EQ(platform::NativePath("a\\B c\\..\\d.ini"), "a/B c/../d.ini");
}

using ProfileRead = ScratchFolder;

TEST_F(ProfileRead, MissingFileSectionOrKeyGivesDefaultAndCreatesNothing) {
    EXPECT_EQ(Get("Impostazioni", "Porta", "KADRO.INI", "dflt"), "dflt");
    EXPECT_EQ(listing(), "");
    spit("KADRO.INI", "[Other]\r\nPorta=COM3\r\n[Impostazioni]\r\nAltro=1\r\n");
    EXPECT_EQ(Get("Missing", "Porta", "KADRO.INI", "d1"), "d1");
    EXPECT_EQ(Get("Impostazioni", "Porta", "KADRO.INI", "d2"), "d2");
    EXPECT_EQ(Get("Other", "Porta"), "COM3");
}

TEST_F(ProfileRead, MatchesNamesIgnoringCaseAndUsesBackslashPaths) {
    spit("KADRO.INI", "[ImPoStAzIoNi]\nPORTA=COM2\n");
    EXPECT_EQ(Get("impostazioni", "porta", ".\\KADRO.INI"), "COM2");
}

TEST_F(ProfileRead, TrimsAndUnquotesValues) {
    struct Line {
        const char* text;  // as written in the file
        const char* key;
        const char* value;  // "?": the default, the key is not there
    };
    const Line lines[] = {
        {"  a  = \t value with  inner \t \r", "a", "value with  inner"},
        {"b=\"double\"", "b", "double"},
        {"c= 'single' ", "c", "single"},
        {"d=\"mixed'", "d", "\"mixed'"},
        {"e=x=y", "e", "x=y"},
        {"f=", "f", ""},
        {"g=\"\"", "g", ""},
        {"q=\"", "q", "\""},
        {"; h=comment", "; h", "?"},
        {"h2", "h", "?"},
    };
    std::string file = "[S]\r\n";
    for (const Line& line : lines) {
        file += std::string(line.text) + "\n";
    }
    spit("KADRO.INI", file);
    for (const Line& line : lines) {
        EXPECT_EQ(Get("S", line.key), line.value) << line.text;
    }
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
    EXPECT_EQ(Get("S", "k", "KADRO.INI", "", 5), "0123");
    EXPECT_EQ(Get("S", "k", "KADRO.INI", "", 1), "");
    EXPECT_EQ(Get("S", "zz", "KADRO.INI", "defaultvalue", 4), "def");
    char untouched = 'x';
    EXPECT_EQ(GetPrivateProfileString("S", "k", "", &untouched, 0, "KADRO.INI"), 0);
    EXPECT_EQ(untouched, 'x');
}

TEST_F(ProfileRead, NonRegularFilesReadAsMissing) {
    ASSERT_EQ(::mkfifo("KADRO.INI", 0600), 0);
    EXPECT_EQ(Get("S", "k", "KADRO.INI", "dflt"), "dflt");  // must not wait for a writer
    std::filesystem::create_directory("DIR.INI");
    EXPECT_EQ(Get("S", "k", "DIR.INI", "dflt"), "dflt");
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
    std::string expected = before;
    expected.replace(expected.find("\"COM2\" "), 7, "COM4");
    EXPECT_EQ(after_writing(before, "Impostazioni", "Porta", "COM4"), expected);
    EXPECT_EQ(Get("Other", "porta"), "COM7");
}

TEST_F(ProfileWrite, ChangesTheEntryThatReadsBackAndLeavesRepeatsAlone) {
    EXPECT_EQ(after_writing_com1("[Impostazioni]\r\n"
                                 "Porta=COM3\r\n"
                                 "Porta=COM4\r\n"
                                 "[Impostazioni]\r\n"
                                 "Porta=COM5\r\n"
                                 "Altro=y\r\n"),
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
    EXPECT_EQ(after_writing("[Empty]\n\n[Next]\n", "Empty", "k", "v"),
              "[Empty]\nk=v\r\n\n[Next]\n");
}

TEST_F(ProfileWrite, AppendsAMissingSectionAndEndsAnUnendedLastLine) {
    EXPECT_EQ(after_writing("[A]\r\nx=1", "B", "k", "v"), "[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(after_writing("[A]\r\nx=1", "A", "k", "v"), "[A]\r\nx=1\r\nk=v\r\n");
    EXPECT_EQ(after_writing("", "A", "k", "v"), "[A]\r\nk=v\r\n");
}

TEST_F(ProfileWrite, KeepsPermissionBitsAndSymbolicLinks) {
    spit("real.ini", "[A]\nk=1\n");
    ASSERT_EQ(::chmod("real.ini", 0640), 0);
    std::filesystem::create_symlink("real.ini", "KADRO.INI");
    ASSERT_TRUE(WritePrivateProfileString("A", "k", "2", "KADRO.INI"));
    EXPECT_TRUE(std::filesystem::is_symlink("KADRO.INI"));
    EXPECT_EQ(slurp("real.ini"), "[A]\nk=2\n");
    EXPECT_EQ(permission_bits("real.ini"), 0640u);
    EXPECT_EQ(listing(), "KADRO.INI;real.ini;");
}

TEST_F(ProfileWrite, AReadOnlyFileIsNotReplacedEvenWhenTheFolderAllowsIt) {
    const std::string before = "[Impostazioni]\r\nPorta=\r\n";
    spit("KADRO.INI", before);
    ASSERT_EQ(::chmod("KADRO.INI", 0444), 0);
    EXPECT_FALSE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), before);
    EXPECT_EQ(permission_bits("KADRO.INI"), 0444u);
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
    EXPECT_EQ(RunUnprivileged([] {
                  return CheckProfileFile(".\\SECRET.INI") == ProfileFileAccess::kAccessDenied &&
                         Get("A", "k", ".\\SECRET.INI", "dflt") == "dflt";
              }),
              1)
        << "an unreadable file is told apart from a missing one and reads as the default";
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

using ProfileFileText = ScratchFolder;

TEST_F(ProfileFileText, AByteOrderMarkIsSkippedAndKeptWhenWriting) {
    spit("KADRO.INI", "\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM3\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta", ".\\KADRO.INI"), "COM3");

    EXPECT_EQ(after_writing_com1("\xEF\xBB\xBF[Impostazioni]\r\nPorta=\r\n"),
              "\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM1\r\n");
    // A mark anywhere else is text of its line.
    spit("MID.INI", "[A]\r\n\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM3\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta", "MID.INI"), "?");
}

TEST_F(ProfileFileText, ACarriageReturnAloneEndsALine) {
    spit("KADRO.INI", "[Altro]\rPorta=COM9\r[Impostazioni]\rPorta=COM5\r");
    EXPECT_EQ(Get("Impostazioni", "Porta"), "COM5");
    EXPECT_EQ(Get("Altro", "Porta"), "COM9");

    EXPECT_EQ(after_writing_com1("[Impostazioni]\rPorta=\rAltro=1\r"),
              "[Impostazioni]\rPorta=COM1\rAltro=1\r");
    EXPECT_EQ(after_writing_com1("[Impostazioni]\rAltro=1\r[B]\r"),
              "[Impostazioni]\rAltro=1\rPorta=COM1\r\n[B]\r");
    // Mixed line ends: CR CR LF is a line ended by CR and an empty line ended by CR LF.
    spit("MIXED.INI", "[S]\r\r\nk=1\n\rj=2");
    EXPECT_EQ(Get("S", "k", "MIXED.INI"), "1");
    EXPECT_EQ(Get("S", "j", "MIXED.INI"), "2");
}

TEST_F(ProfileFileText, ANulEndsTheValueAndTheRestOfItsLineIsIgnored) {
    using namespace std::string_literals;
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=/dev/ttyS9\0junk\r\nAltro=\"q\0\"\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta"), "/dev/ttyS9");
    EXPECT_EQ(Get("Impostazioni", "Altro"), "\"q");

    // A value that is blank up to the NUL counts as empty and is filled in place; the bytes
    // after the NUL stay in the file.
    spit("BLANK.INI", "[Impostazioni]\r\nPorta= \0COM3\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta", "BLANK.INI"), "");
    EXPECT_EQ(after_writing_com1("[Impostazioni]\r\nPorta= \0COM3\r\n"s, "BLANK.INI"),
              "[Impostazioni]\r\nPorta= COM1\0COM3\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta", "BLANK.INI"), "COM1");

    // In a section line or before the '=' the NUL ends the name the same way.
    spit("NAMES.INI", "[Impostazioni\0]\r\nPorta\0=COM4\r\nPorta=COM6\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta", "NAMES.INI"), "COM6");
}

TEST_F(ProfileFileText, AHugeFileGivesTheDefaultWithBoundedMemoryAndIsNeverRewritten) {
    const std::string head = "[Impostazioni]\r\nPorta=COM3\r\n";
    spit("EDGE.INI", head);
    ASSERT_EQ(::truncate("EDGE.INI", static_cast<off_t>(platform::kMaxProfileFileBytes)), 0);
    EXPECT_EQ(Get("Impostazioni", "Porta", "EDGE.INI"), "COM3") << "the largest file still read";

    spit("KADRO.INI", head);
    const off_t huge = off_t{3} << 30;  // 3 GB, sparse
    if (::truncate("KADRO.INI", huge) != 0) {
        GTEST_SKIP() << "this file system cannot hold a sparse 3 GB file";
    }
    const int failed = RunInChild([&] {
        // Under a sanitizer the address space is its shadow memory's; the limit would stop the
        // sanitizer, not the reader.
        if (!kSanitized) {
            const rlimit limit{rlim_t{3} << 29, rlim_t{3} << 29};  // 1.5 GB
            if (::setrlimit(RLIMIT_AS, &limit) != 0) {
                return 1;
            }
        }
        if (Get("Impostazioni", "Porta", ".\\KADRO.INI", "dflt") != "dflt") {
            return 2;
        }
        if (CheckProfileFile(".\\KADRO.INI") != ProfileFileAccess::kTooLarge) {
            return 3;
        }
        if (WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI")) {
            return 4;
        }
        return 0;
    });
    EXPECT_EQ(failed, 0) << "check " << failed << " in the child";
    struct stat info {};
    ASSERT_EQ(::stat("KADRO.INI", &info), 0);
    EXPECT_EQ(info.st_size, huge);
    EXPECT_EQ(listing(), "EDGE.INI;KADRO.INI;");
}

TEST_F(ProfileFileText, UnreadableFilesAreToldApartFromMissingOnes) {
    EXPECT_EQ(CheckProfileFile(".\\KADRO.INI"), ProfileFileAccess::kMissing);
    EXPECT_EQ(CheckProfileFile("no\\such\\KADRO.INI"), ProfileFileAccess::kMissing);
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=COM2\r\n");
    EXPECT_EQ(CheckProfileFile(".\\KADRO.INI"), ProfileFileAccess::kReadable);

    ASSERT_TRUE(std::filesystem::create_directory("DIR.INI"));
    EXPECT_EQ(CheckProfileFile("DIR.INI"), ProfileFileAccess::kNotRegularFile);
    EXPECT_FALSE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", "DIR.INI"));
    EXPECT_TRUE(std::filesystem::is_directory("DIR.INI"));

    spit("BIG.INI", "");
    ASSERT_EQ(::truncate("BIG.INI", static_cast<off_t>(platform::kMaxProfileFileBytes + 1)), 0);
    EXPECT_EQ(CheckProfileFile("BIG.INI"), ProfileFileAccess::kTooLarge);
    // A file this user may not read: ProfileWrite.UnreadableFileOrReadOnlyFolderRefusesTheWrite.
}

TEST_F(ProfileFileText, AWriteRemovesTemporaryFilesLeftByADeadWriterOnly) {
    // The process id of a writer that is gone, as after a SIGKILL before its rename.
    const pid_t dead = ::fork();
    if (dead == 0) {
        ::_exit(0);
    }
    ASSERT_GT(dead, 0);
    ASSERT_EQ(::waitpid(dead, nullptr, 0), dead);
    const std::string gone = std::to_string(dead);

    spit("KADRO.INI", "[Impostazioni]\r\nPorta=\r\n");
    spit(".KADRO.INI." + gone + ".0.tmp", "[Impostazioni]\r\nPorta=COM1\r\n");
    spit(".KADRO.INI." + gone + ".17.tmp", "");
    // Left alone: a writer that still runs, other files' temporaries, other names.
    spit(".KADRO.INI.1.0.tmp", "");
    spit(".OTHER.INI." + gone + ".0.tmp", "");
    spit("KADRO.INI." + gone + ".0.tmp", "");
    spit(".KADRO.INI." + gone + ".tmp", "");
    spit(".KADRO.INI." + gone + ".0.tmp.bak", "");
    ASSERT_TRUE(std::filesystem::create_directory(".KADRO.INI." + gone + ".1.tmp"));
    std::filesystem::create_symlink("KADRO.INI", ".KADRO.INI." + gone + ".2.tmp");

    ASSERT_TRUE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    const std::set<std::string> kept = {".KADRO.INI.1.0.tmp",
                                        ".OTHER.INI." + gone + ".0.tmp",
                                        "KADRO.INI." + gone + ".0.tmp",
                                        ".KADRO.INI." + gone + ".tmp",
                                        ".KADRO.INI." + gone + ".0.tmp.bak",
                                        ".KADRO.INI." + gone + ".1.tmp",
                                        ".KADRO.INI." + gone + ".2.tmp",
                                        "KADRO.INI"};
    std::string expected;
    for (const std::string& name : kept) {
        expected += name + ";";
    }
    EXPECT_EQ(listing(), expected);
}

// Both systems name and recognise their temporary files with the same code: a name it makes must
// read back as its writer's, in narrow (here) and wide (Windows) spelling alike, and nothing else
// may pass for one, least of all a name too short to hold both numbers.
TEST(TemporaryFileName, ReadsBackItsWriterAndNothingElsePassesForOne) {
    using platform::detail::TemporaryFileName;
    using platform::detail::TemporaryFileWriter;
    EXPECT_EQ(TemporaryFileName<char>('.', "KADRO.INI", 4321, 17), ".KADRO.INI.4321.17.tmp");
    EXPECT_EQ(TemporaryFileWriter<char>(".KADRO.INI.4321.17.tmp", '.', "KADRO.INI"), 4321u);
    EXPECT_EQ(TemporaryFileName<wchar_t>(L'~', L"KADRO.INI", 999999997, 3),
              L"~KADRO.INI.999999997.3.tmp");
    EXPECT_EQ(TemporaryFileWriter<wchar_t>(L"~KADRO.INI.999999997.3.tmp", L'~', L"KADRO.INI"),
              999999997u);
    for (std::string_view name :
         {".KADRO.INI.tmp", ".KADRO.INI..tmp", ".KADRO.INI.7.tmp", ".KADRO.INI.7..tmp",
          ".KADRO.INI.1234567890.1.tmp", ".KADRO.INI.7.x.tmp", ".KADRO.INI.7.1.tmp.bak",
          "~KADRO.INI.7.1.tmp", ".KADRO.INIX.7.1.tmp", ".OTHER.INI.7.1.tmp"}) {
        EXPECT_EQ(TemporaryFileWriter<char>(name, '.', "KADRO.INI"), 0u) << name;
    }
}

}  // namespace
}  // namespace kadro::test
