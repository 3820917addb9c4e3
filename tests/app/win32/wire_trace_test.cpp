// The wire trace on the real Windows file system: a name in the code page reaching the file
// through the wide calls, the rename that sets a full file aside, and a folder refused.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "app/wire_trace.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace kadro::test {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(WindowsWireTrace, WritesUnderAnAccentedNameSetsAFullFileAsideAndRefusesAFolder) {
    const fs::path dir =
        fs::temp_directory_path() / (L"kadro-trace-" + std::to_wstring(::GetTickCount()));
    ASSERT_TRUE(fs::create_directory(dir));
    const fs::path previous = fs::current_path();
    fs::current_path(dir);

    ASSERT_NE(::CreateDirectoryW(L"cartella", nullptr), 0);
    const WireTraceOpen refused = WireTrace::Open("cartella");
    EXPECT_EQ(refused.trace, nullptr);
    EXPECT_EQ(refused.reason, "Is a directory");

    // "traccia_\xE8" is "traccia_è" in the code page; a start line fits before the limit, the
    // image line does not.
    const std::string earlier(WireTrace::kFileLimit - 60, 'o');
    std::ofstream(fs::path(L"traccia_\u00E8.txt"), std::ios::binary) << earlier;
    {
        WireTraceOpen opened = WireTrace::Open("traccia_\xE8.txt");
        ASSERT_NE(opened.trace, nullptr) << opened.reason;
        opened.trace->on_image({.path = "C:\\dischi\\gioco_\xE8.vks",
                                .file_bytes = 4608,
                                .file_crc32 = 0xCBF43926u,
                                .tracks = 1});
        opened.trace->on_end();
        EXPECT_FALSE(opened.trace->failure().has_value());
    }
    const std::string kept = slurp(L"traccia_\u00E8.txt.1");
    const std::string current = slurp(L"traccia_\u00E8.txt");
    ASSERT_TRUE(kept.starts_with(earlier));
    EXPECT_NE(kept.find(" start utc="), std::string::npos) << kept.substr(earlier.size());
    EXPECT_NE(current.find(" continued start-utc="), std::string::npos) << current;
    EXPECT_NE(current.find(" image path=\"C:\\dischi\\gioco_\xC3\xA8.vks\" bytes=4608 "
                           "crc32=cbf43926 tracks=1\n"),
              std::string::npos)
        << current;
    EXPECT_TRUE(current.ends_with(" end\n")) << current;

    fs::current_path(previous);
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace kadro::test
