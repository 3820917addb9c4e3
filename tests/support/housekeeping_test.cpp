#include "support/housekeeping.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/program_lifecycle.h"
#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

namespace fs = std::filesystem;

const std::string kMark = "\x7F";

class Housekeeping : public ScratchFolder {
  protected:
    void SetUp() override {
        ScratchFolder::SetUp();
        redirect_temp();
    }
    void TearDown() override {
        CurrentLoginState() = LoginState{};
        ResetProgramLifecycle();
        ScratchFolder::TearDown();
    }
};

TEST_F(Housekeeping, InitSetsDefaultsUserVariablesAndErrorMode) {
    SETERRORMODE(0);
    INIT$();
    EXPECT_EQ(CurrentRuntimeDefaults().date_format, "dd/mm/yyyy");
    EXPECT_EQ(CurrentRuntimeDefaults().file_name_case, "UPPER");
    EXPECT_EQ(CurrentRuntimeDefaults().epoch, 1980);
    EXPECT_EQ(GetUserVariable("ACS_USER"), UserValue(std::string("USER")));
    EXPECT_EQ(GetUserVariable("ACS_TEMP"), UserValue(std::string()));
    EXPECT_EQ(GetUserVariable("ACS_PASSWD"), UserValue(std::string()));
    EXPECT_EQ(GetUserVariable("ACS_LEVEL"), UserValue(1LL));
    EXPECT_EQ(SETERRORMODE(0), 1u);

    SetUserVariable("acs_level", 3LL);
    EXPECT_EQ(GetUserVariable("ACS_LEVEL"), UserValue(3LL));
    EXPECT_FALSE(GetUserVariable("ACS_NOTHING").has_value());
}

TEST_F(Housekeeping, InitDeletesMarkedPlainFilesOfCurrentFolderOnly) {
    spit(kMark + "LEFT1");
    spit(kMark + "left2.tmp");
    spit("KEEP.TXT");
    fs::create_directory(kMark + "FOLDER");
    spit(kMark + "FOLDER/inner");
    // A link named like a leftover must not cost its target anything.
    fs::create_directory("outside");
    spit("outside/precious");
    fs::create_symlink("outside/precious", kMark + "LINKFILE");
    fs::create_directory_symlink("outside", kMark + "LINKDIR");

    INIT$();

    EXPECT_FALSE(exists(kMark + "LEFT1"));
    EXPECT_FALSE(exists(kMark + "left2.tmp"));
    EXPECT_TRUE(exists("KEEP.TXT"));
    EXPECT_TRUE(exists(kMark + "FOLDER/inner"));
    EXPECT_TRUE(exists("outside/precious"));
    EXPECT_TRUE(exists(kMark + "LINKFILE"));
    EXPECT_TRUE(exists(kMark + "LINKDIR"));
}

TEST_F(Housekeeping, InitEmptiesAndRemovesLeftoverFoldersUnderTemp) {
    const std::string temp = temp_dir() + "/";
    fs::create_directory(temp + kMark + "ONLYFILES");
    spit(temp + kMark + "ONLYFILES/a");
    spit(temp + kMark + "ONLYFILES/.hidden");
    fs::create_directory(temp + kMark + "WITHSUB");
    spit(temp + kMark + "WITHSUB/a");
    fs::create_directory(temp + kMark + "WITHSUB/sub");
    spit(temp + kMark + "WITHSUB/sub/deep");
    spit(temp + kMark + "PLAINFILE");
    fs::create_directory(temp + "OTHER");
    spit(temp + "OTHER/a");

    fs::create_directory("outside");
    spit("outside/precious");
    fs::create_directory_symlink(m_dir + "/outside", temp + kMark + "LINKDIR");
    fs::create_directory(temp + kMark + "HOLDSLINK");
    fs::create_symlink(m_dir + "/outside/precious", temp + kMark + "HOLDSLINK/link");

    INIT$();

    EXPECT_FALSE(exists(temp + kMark + "ONLYFILES"));
    EXPECT_TRUE(exists(temp + kMark + "WITHSUB"));
    EXPECT_FALSE(exists(temp + kMark + "WITHSUB/a"));
    EXPECT_TRUE(exists(temp + kMark + "WITHSUB/sub/deep"));
    EXPECT_TRUE(exists(temp + kMark + "PLAINFILE"));
    EXPECT_TRUE(exists(temp + "OTHER/a"));
    EXPECT_TRUE(exists(temp + kMark + "LINKDIR"));
    EXPECT_TRUE(exists("outside/precious"));
    EXPECT_TRUE(exists(temp + kMark + "HOLDSLINK/link"));
}

TEST_F(Housekeeping, WithoutTempTheRootFolderIsSearched) {
    ::unsetenv("TEMP");
    EXPECT_EQ(TempSearchFolder(), "/");
    ::setenv("TEMP", "", 1);
    EXPECT_EQ(TempSearchFolder(), "/");

    const std::string leftover = "/" + kMark + "kadro-test-" + std::to_string(::getpid());
    if (::mkdir(leftover.c_str(), 0700) != 0) {
        GTEST_SKIP() << "the root folder is not writable here";
    }
    spit(leftover + "/a");
    INIT$();
    bool removed = !exists(leftover);
    std::error_code ignored;
    fs::remove_all(leftover, ignored);
    EXPECT_TRUE(removed);
}

TEST_F(Housekeeping, DeldirDeletesHiddenFilesButNeverEntersSubfolders) {
    fs::create_directory("d");
    spit("d/a");
    spit("d/.hidden");
    fs::create_directory("d/sub");
    spit("d/sub/b");
    DELDIR("d");
    EXPECT_FALSE(exists("d/a"));
    EXPECT_FALSE(exists("d/.hidden"));
    EXPECT_TRUE(exists("d/sub/b"));
    EXPECT_FALSE(REMOVEDIR("d"));
    fs::remove("d/sub/b");
    EXPECT_TRUE(REMOVEDIR("d\\sub"));
    EXPECT_TRUE(REMOVEDIR("d"));
    EXPECT_FALSE(exists("d"));
}

TEST_F(Housekeeping, DeldirAndRemovedirDoNotGoThroughLinks) {
    fs::create_directory("real");
    spit("real/a");
    fs::create_directory_symlink("real", "link");
    DELDIR("link");
    EXPECT_TRUE(exists("real/a"));
    fs::remove("real/a");
    EXPECT_FALSE(REMOVEDIR("link"));
    EXPECT_FALSE(REMOVEDIR("link/"));
    EXPECT_TRUE(exists("real"));
}

// Names of a folder in the order the system lists them.
std::vector<std::string> ListingOrder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    while (const dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    ::closedir(dir);
    return names;
}

// A sticky folder in which the unprivileged user owns every file except the third in listing
// order, which it cannot delete: the POSIX shape of a read-only file. Returns the names in listing
// order.
std::vector<std::string> MakeFolderWithUndeletableFile(const std::string& folder) {
    fs::create_directory(folder);
    for (const char* name : {"f1", "f2", "f3", "f4", "f5", "f6"}) {
        std::string path = folder + "/" + name;
        spit(path);
        EXPECT_EQ(::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId), 0);
    }
    ::chmod(folder.c_str(), 01777);
    std::vector<std::string> order = ListingOrder(folder);
    EXPECT_EQ(::chown((folder + "/" + order[2]).c_str(), 0, 0), 0);
    return order;
}

// Exactly the files before the third in listing order are gone.
void ExpectDeletedUpToTheThird(const std::string& folder, const std::vector<std::string>& order) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(exists(folder + "/" + order[i]), i >= 2) << order[i];
    }
}

class HousekeepingAsNobody : public Housekeeping {
  protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "needs root to hand files to another user";
        }
        Housekeeping::SetUp();
        ::chmod(m_dir.c_str(), 0755);
        ::chmod(temp_dir().c_str(), 0777);
    }
};

TEST_F(HousekeepingAsNobody, DeldirStopsAtTheFirstFileItCannotDelete) {
    std::vector<std::string> order = MakeFolderWithUndeletableFile(m_dir + "/d");
    ASSERT_EQ(RunUnprivileged([&] {
                  DELDIR(m_dir + "/d");
                  return 0;
              }),
              0);
    ExpectDeletedUpToTheThird(m_dir + "/d", order);
}

TEST_F(HousekeepingAsNobody, TempLeftoverWithUndeletableFileStays) {
    const std::string leftover = temp_dir() + "/" + kMark + "RO";
    std::vector<std::string> order = MakeFolderWithUndeletableFile(leftover);
    ASSERT_EQ(RunUnprivileged([] {
                  INIT$();
                  return 0;
              }),
              0);
    ASSERT_TRUE(exists(leftover));
    ExpectDeletedUpToTheThird(leftover, order);
}

TEST_F(Housekeeping, ExitDeletesOnlyLeftoverViewIndexesAndRunsFirst) {
    for (const std::string& name :
         {kMark + "VIEW1.NTX", kMark + "view22.ntx", kMark + "VIEW.NTX", kMark + "VIEW1.DBF",
          std::string("VIEW1.NTX"), kMark + "OTHER.NTX", kMark + "LEFT", std::string("KEEP")}) {
        spit(name);
    }
    fs::create_directory("outside");
    spit("outside/precious");
    fs::create_symlink("outside/precious", kMark + "VIEWLINK.NTX");

    bool index_gone_before_mine = false;
    AddExitProcedure([&] { index_gone_before_mine = !exists(kMark + "VIEW1.NTX"); });
    RunExitProcedures();
    RunExitProcedures();

    EXPECT_TRUE(index_gone_before_mine);
    EXPECT_EQ(CurrentRuntimeDefaults().work_area, 1);
    EXPECT_FALSE(exists(kMark + "view22.ntx"));
    EXPECT_FALSE(exists(kMark + "VIEW.NTX"));
    for (const std::string& name :
         {kMark + "VIEW1.DBF", std::string("VIEW1.NTX"), kMark + "OTHER.NTX", kMark + "LEFT",
          std::string("KEEP"), kMark + "VIEWLINK.NTX", std::string("outside/precious")}) {
        EXPECT_TRUE(exists(name)) << name;
    }
}

TEST_F(Housekeeping, ExitOnlyCleansTheLogInWhenThereIsOne) {
    fs::create_directory("login");
    spit("login/a");
    spit("USER0001.USR");
    EXIT$();
    EXPECT_TRUE(exists("login/a"));

    CurrentLoginState().name = "USER0001";
    CurrentLoginState().temp_dir = m_dir + "/login/";
    CurrentLoginState().lock_file = platform::UniqueFd(::open("login/a", O_RDONLY | O_CLOEXEC));
    EXIT$();
    EXPECT_EQ(CurrentLoginState().lock_file.get(), -1);
    EXPECT_FALSE(exists("login"));
    // Without the shared lock table the user's file stays.
    EXPECT_NE(exists("USER0001.USR"), exists(std::string(kNetworkLockTable)));
}

}  // namespace
}  // namespace kadro::test
