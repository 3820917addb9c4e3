// Settings files as they are found on disk: byte-order marks, CR line ends, NUL bytes, huge or
// unreadable files, and temporary files left by an interrupted write.

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "app/settings.h"
#include "platform/profile.h"
#include "platform/temporary_file_internal.h"
#include "testing/scratch_dir.h"

namespace {

using kadro_test::ScratchDir;
using platform::CheckProfileFile;
using platform::GetPrivateProfileString;
using platform::ProfileFileAccess;
using platform::WritePrivateProfileString;

std::string Get(std::string_view section, std::string_view key, std::string_view path,
                std::string_view fallback = "?") {
    std::string buffer(4096, '#');
    const int n = GetPrivateProfileString(section, key, fallback, buffer.data(), 4095, path);
    return buffer.substr(0, static_cast<std::size_t>(n));
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

// Runs `body` in a child process and gives its exit code (-1 when it did not exit normally).
// The body returns 0 for success or the number of the first check that failed.
int run_in_child(const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body());
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Takes the rights of an ordinary user: nobody when running as root.
bool drop_privileges() {
    if (::geteuid() != 0) {
        return true;
    }
    constexpr uid_t kNobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

class ProfileFileText : public ScratchDir {
  protected:
    // The file `name` after it held `before` and Porta was set to COM1 in Impostazioni.
    static std::string after_writing_com1(const std::string& name, const std::string& before) {
        spit(name, before);
        EXPECT_TRUE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", name)) << name;
        return slurp(name);
    }
};

TEST_F(ProfileFileText, AByteOrderMarkIsSkippedAndKeptWhenWriting) {
    spit("KADRO.INI", "\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM3\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta", ".\\KADRO.INI"), "COM3");
    EXPECT_EQ(kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI"), "COM3");

    EXPECT_EQ(after_writing_com1("BLANK.INI", "\xEF\xBB\xBF[Impostazioni]\r\nPorta=\r\n"),
              "\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM1\r\n");
    // A mark anywhere else is text of its line.
    spit("MID.INI", "[A]\r\n\xEF\xBB\xBF[Impostazioni]\r\nPorta=COM3\r\n");
    EXPECT_EQ(Get("Impostazioni", "Porta", "MID.INI"), "?");
}

TEST_F(ProfileFileText, ACarriageReturnAloneEndsALine) {
    spit("KADRO.INI", "[Altro]\rPorta=COM9\r[Impostazioni]\rPorta=COM5\r");
    EXPECT_EQ(Get("Impostazioni", "Porta", "KADRO.INI"), "COM5");
    EXPECT_EQ(Get("Altro", "Porta", "KADRO.INI"), "COM9");

    EXPECT_EQ(after_writing_com1("BLANK.INI", "[Impostazioni]\rPorta=\rAltro=1\r"),
              "[Impostazioni]\rPorta=COM1\rAltro=1\r");
    EXPECT_EQ(after_writing_com1("MISSING.INI", "[Impostazioni]\rAltro=1\r[B]\r"),
              "[Impostazioni]\rAltro=1\rPorta=COM1\r\n[B]\r");
    // Mixed line ends: CR CR LF is a line ended by CR and an empty line ended by CR LF.
    spit("MIXED.INI", "[S]\r\r\nk=1\n\rj=2");
    EXPECT_EQ(Get("S", "k", "MIXED.INI"), "1");
    EXPECT_EQ(Get("S", "j", "MIXED.INI"), "2");
}

TEST_F(ProfileFileText, ANulEndsTheValueAndTheRestOfItsLineIsIgnored) {
    using namespace std::string_literals;
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=/dev/ttyS9\0junk\r\nAltro=\"q\0\"\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta", "KADRO.INI"), "/dev/ttyS9");
    EXPECT_EQ(Get("Impostazioni", "Altro", "KADRO.INI"), "\"q");
    const std::string port = kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", "KADRO.INI");
    EXPECT_EQ(port.find('\0'), std::string::npos);

    // A value that is blank up to the NUL counts as empty and is filled in place; the bytes
    // after the NUL stay in the file.
    spit("BLANK.INI", "[Impostazioni]\r\nPorta= \0COM3\r\n"s);
    EXPECT_EQ(Get("Impostazioni", "Porta", "BLANK.INI"), "");
    EXPECT_EQ(after_writing_com1("BLANK.INI", "[Impostazioni]\r\nPorta= \0COM3\r\n"s),
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
    const int failed = run_in_child([&] {
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
        if (!kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI").empty()) {
            return 3;
        }
        if (CheckProfileFile(".\\KADRO.INI") != ProfileFileAccess::kTooLarge) {
            return 4;
        }
        if (WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI")) {
            return 5;
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
    EXPECT_EQ(kadro::SettingsFileProblem(".\\KADRO.INI"), std::nullopt);
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=COM2\r\n");
    EXPECT_EQ(CheckProfileFile(".\\KADRO.INI"), ProfileFileAccess::kReadable);
    EXPECT_EQ(kadro::SettingsFileProblem(".\\KADRO.INI"), std::nullopt);

    ASSERT_TRUE(std::filesystem::create_directory("DIR.INI"));
    EXPECT_EQ(CheckProfileFile("DIR.INI"), ProfileFileAccess::kNotRegularFile);
    EXPECT_EQ(kadro::SettingsFileProblem(".\\DIR.INI"),
              "Impossibile leggere il file delle impostazioni DIR.INI (non \xE8 un file normale).");
    EXPECT_FALSE(WritePrivateProfileString("Impostazioni", "Porta", "COM1", "DIR.INI"));
    EXPECT_TRUE(std::filesystem::is_directory("DIR.INI"));

    spit("BIG.INI", "");
    ASSERT_EQ(::truncate("BIG.INI", static_cast<off_t>(platform::kMaxProfileFileBytes + 1)), 0);
    EXPECT_EQ(kadro::SettingsFileProblem("BIG.INI"),
              "Impossibile leggere il file delle impostazioni BIG.INI (file troppo grande).");

    // No permission, tried as an ordinary user (CI runs as root, which reads anything).
    ASSERT_EQ(::chmod(".", 0755), 0);
    ASSERT_EQ(::chmod("KADRO.INI", 0600), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod("KADRO.INI", 0), 0);
    }
    const int failed = run_in_child([] {
        if (!drop_privileges()) {
            return 1;
        }
        if (::access("KADRO.INI", R_OK) == 0) {
            return 2;  // this user still reads it: nothing to test
        }
        if (CheckProfileFile(".\\KADRO.INI") != ProfileFileAccess::kAccessDenied) {
            return 3;
        }
        if (kadro::SettingsFileProblem(".\\KADRO.INI") !=
            "Impossibile leggere il file delle impostazioni KADRO.INI (accesso negato).") {
            return 4;
        }
        if (!kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI").empty()) {
            return 5;
        }
        if (WritePrivateProfileString("Impostazioni", "Porta", "COM1", ".\\KADRO.INI")) {
            return 6;
        }
        return 0;
    });
    EXPECT_EQ(failed, 0) << "check " << failed << " in the child";
    ASSERT_EQ(::chmod("KADRO.INI", 0600), 0);
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM2\r\n");
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
