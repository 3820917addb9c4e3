#pragma once
// Test fixture: each test runs in a fresh folder as its current directory, with TEMP pointing at
// a "temp" folder inside it. The folder is removed afterwards and the previous directory and
// TEMP restored.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace kadro_test {

inline void write_file(const std::string& path, const std::string& data = "x") {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}
// True when something (also a dangling link) has that name.
inline bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        m_previous = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(m_previous, 0);
        if (const char* temp = std::getenv("TEMP")) {
            m_saved_temp = temp;
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "kadro-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        ASSERT_EQ(::chdir(m_dir.c_str()), 0);
        std::filesystem::create_directory(temp_dir());
        ::setenv("TEMP", temp_dir().c_str(), 1);
    }
    void TearDown() override {
        if (m_saved_temp) {
            ::setenv("TEMP", m_saved_temp->c_str(), 1);
        } else {
            ::unsetenv("TEMP");
        }
        if (m_previous >= 0) {
            EXPECT_EQ(::fchdir(m_previous), 0);
            ::close(m_previous);
        }
        if (!m_dir.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(m_dir, ignored);
        }
    }

    std::string temp_dir() const { return m_dir + "/temp"; }

    std::string m_dir;

  private:
    int m_previous = -1;
    std::optional<std::string> m_saved_temp;
};

}  // namespace kadro_test
