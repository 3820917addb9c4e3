#pragma once
// Test fixture: each test runs in a fresh empty folder as its current directory; the folder
// and everything in it is removed afterwards and the previous directory restored.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace kadro_test {

class ScratchDir : public ::testing::Test {
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

    static std::string slurp(const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static void spit(const std::string& name, const std::string& data) {
        std::ofstream(name, std::ios::binary | std::ios::trunc) << data;
    }
    // Names of everything in the folder, sorted.
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
};

}  // namespace kadro_test
