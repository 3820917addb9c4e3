#pragma once
// Test fixture: each test runs in a fresh empty folder (m_dir) as its current directory. The
// folder and everything in it is removed afterwards, also what a test made read-only, and the
// previous directory restored. A test that calls redirect_temp() has TEMP point at a "temp"
// folder inside it until the test ends, when TEMP is put back as it was.
//
// listing() names everything in the folder, sorted, each name followed by ";". Beside it:
// slurp reads a whole file ("" when it cannot be read), spit writes one (a one-byte file unless
// told what to hold), exists is true for anything of that name (a dangling link included).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>

namespace kadro::test {

inline std::string slurp(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
inline void spit(const std::string& name, const std::string& data = "x") {
    std::ofstream(name, std::ios::binary | std::ios::trunc) << data;
}
inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(m_previous, 0);
        std::string pattern = (std::filesystem::temp_directory_path() / "kadro-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        ASSERT_EQ(::chdir(m_dir.c_str()), 0);
    }
    void TearDown() override {
        if (m_temp_redirected) {
            if (m_saved_temp) {
                ::setenv("TEMP", m_saved_temp->c_str(), 1);
            } else {
                ::unsetenv("TEMP");
            }
        }
        if (m_previous >= 0) {
            EXPECT_EQ(::fchdir(m_previous), 0);
            ::close(m_previous);
        }
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::permissions(m_dir, std::filesystem::perms::owner_all, ignored);
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    void redirect_temp() {
        if (const char* temp = std::getenv("TEMP")) {
            m_saved_temp = temp;
        }
        m_temp_redirected = true;
        std::filesystem::create_directory(temp_dir());
        ::setenv("TEMP", temp_dir().c_str(), 1);
    }
    std::string temp_dir() const { return m_dir + "/temp"; }

    std::string listing() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
            names.insert(entry.path().filename().string());
        }
        std::string joined;
        for (const auto& name : names) {
            joined += name + ";";
        }
        return joined;
    }

    std::string m_dir;

  private:
    int m_previous = -1;
    bool m_temp_redirected = false;
    std::optional<std::string> m_saved_temp;
};

}  // namespace kadro::test
