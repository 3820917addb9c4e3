#include "app/image_preparation.h"

#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include <utility>
#include <vector>

#include "testing/scratch_folder.h"
#include "testing/unprivileged_child.h"

namespace kadro::test {
namespace {

using kadro::MEMOREAD;
using kadro::PrepareTrackImage;
using kadro::ReadTrackImage;

constexpr std::size_t kBlock = 4608;

// Every block gets its own byte sequence so a block in the wrong place shows.
std::string Pattern(std::size_t size, bool end_mark) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i / kBlock * 101 + i % kBlock) & 0xFF);
    }
    if (size > 0) {
        data.back() = end_mark ? '\x1A' : (data.back() == '\x1A' ? '\x1B' : data.back());
    }
    return data;
}

// Blocks first, first + 2, ..., last of `data`, for each (first, last) run in turn.
std::string Blocks(const std::string& data, const std::vector<std::pair<int, int>>& runs) {
    std::string out;
    for (const auto& [first, last] : runs) {
        for (int block = first; block <= last; block += 2) {
            out += data.substr(static_cast<std::size_t>(block) * kBlock, kBlock);
        }
    }
    return out;
}

struct Layout {
    const char* name;
    std::size_t size;
    bool end_mark;
    std::vector<std::pair<int, int>> runs;  // empty: the data unchanged
};

using ImagePreparation = ScratchFolder;

TEST_F(ImagePreparation, FilesGiveTheDocumentedTrackLayouts) {
    const std::vector<std::pair<int, int>> full = {{0, 158}, {1, 159}};
    const std::vector<Layout> layouts = {
        {"empty", 0, false, {}},
        {"single end mark", 1, true, {}},
        {"100000", 100000, false, {}},
        {"one side", 184320, false, {}},
        {"one side plus a mark", 184321, true, {}},
        {"one side plus a byte", 184321, false, {{0, 40}, {1, 39}}},
        {"200000", 200000, false, {{0, 42}, {1, 43}}},
        {"80 blocks", 368640, false, {{0, 78}, {1, 79}}},
        {"full", 737280, false, full},
        {"full with mark", 737280, true, full},
        {"full plus a byte", 737281, false, full},
        {"full plus a mark", 737281, true, full},
        {"double size", 1474560, false, full},
        {"double size with mark", 1474560, true, full},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::string data = Pattern(layout.size, layout.end_mark);
        spit("IMAGE.IMG", data);
        const std::string effective = data.substr(0, data.size() - (layout.end_mark ? 1 : 0));
        const std::string expected =
            layout.runs.empty() ? effective : Blocks(effective, layout.runs);
        EXPECT_EQ(MEMOREAD("IMAGE.IMG"), effective);
        EXPECT_EQ(PrepareTrackImage(effective), expected);
        EXPECT_EQ(ReadTrackImage("IMAGE.IMG").TrackImage, expected);
    }
}

TEST_F(ImagePreparation, OnlyOneTrailingEndMarkIsDropped) {
    spit("a", "\x1A\x1A");
    spit("b",
         "a\x1A"
         "b");
    EXPECT_EQ(MEMOREAD("a"), "\x1A");
    EXPECT_EQ(MEMOREAD("b"),
              "a\x1A"
              "b");
}

TEST_F(ImagePreparation, BoundedReadMatchesTheFullReadAroundEveryThreshold) {
    for (const std::size_t size :
         {184319, 184320, 184321, 184322, 737279, 737280, 737281, 737282}) {
        for (const bool mark : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (mark ? " with mark" : ""));
            spit("IMAGE.IMG", Pattern(size, mark));
            EXPECT_EQ(ReadTrackImage("IMAGE.IMG").TrackImage,
                      PrepareTrackImage(MEMOREAD("IMAGE.IMG")));
        }
    }
}

TEST_F(ImagePreparation, AnEndMarkInsideALongFileIsDataOnlyTheRealLastByteCounts) {
    // Byte 737279 is the last one that can reach the track image (the last byte of block 159,
    // which goes last). In a longer file it is ordinary data, whatever its value.
    for (const std::size_t size : {737281, 737282, 800000}) {
        for (const bool mark : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (mark ? " ending in 0x1A" : ""));
            std::string data = Pattern(size, mark);
            data[737279] = '\x1A';
            spit("IMAGE.IMG", data);
            const std::string tracks = ReadTrackImage("IMAGE.IMG").TrackImage;
            ASSERT_EQ(tracks.size(), 737280u);
            EXPECT_EQ(tracks.back(), '\x1A');
            EXPECT_EQ(tracks, Blocks(data, {{0, 158}, {1, 159}}));
        }
    }
}

TEST_F(ImagePreparation, UnopenableFilesAreFailuresWithTheSystemsReasonAndNeverWait) {
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    std::filesystem::create_directory("dir");
    const std::pair<const char*, const char*> cases[] = {
        {"missing", "No such file or directory"},
        {"fifo", "Is a FIFO"},
        {"dir", "Is a directory"},
        {"/dev/zero", "Is a character device"},
        {"dir/missing/deeper", "No such file or directory"},
    };
    for (const auto& [name, reason] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(MEMOREAD(name), "");
        const kadro::TrackImageRead read = ReadTrackImage(name);
        EXPECT_EQ(read.TrackImage, "");
        EXPECT_EQ(read.failure, std::optional<std::string>(reason));
    }
}

TEST_F(ImagePreparation, AFileWithoutReadPermissionIsAFailure) {
    // Permission bits do not stop root, so the reads run as an unprivileged user.
    spit("locked.vks", Pattern(100, false));
    spit("open.vks", Pattern(100, false));
    ASSERT_TRUE(GiveToUnprivilegedUser({".", "locked.vks", "open.vks"}));
    ASSERT_EQ(::chmod("locked.vks", 0), 0);
    const int status = RunUnprivileged([] {
        if (ReadTrackImage("open.vks").failure.has_value()) {
            return 1;  // the same user must still read a readable file
        }
        const kadro::TrackImageRead read = ReadTrackImage("locked.vks");
        return read.failure == std::optional<std::string>("Permission denied") &&
                       read.TrackImage.empty()
                   ? 0
                   : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(ImagePreparation, AnEmptyFileOrALoneEndMarkIsAnEmptyImageNotAFailure) {
    spit("empty.vks", "");
    spit("mark.vks", "\x1A");
    for (const char* name : {"empty.vks", "mark.vks"}) {
        SCOPED_TRACE(name);
        const kadro::TrackImageRead read = ReadTrackImage(name);
        EXPECT_EQ(read.TrackImage, "");
        EXPECT_FALSE(read.failure.has_value());
    }
}

TEST_F(ImagePreparation, AccentedNamesInTheCodePageOrTheChoosersUtf8FormReachTheFile) {
    const std::string data = Pattern(5000, false);
    // On disk in UTF-8; the program names them in Windows-1252, or in UTF-8 when a character
    // lies beyond 255 (as the chooser returns it).
    spit("d\xC3\xACsco \xC3\xA8.vks", data);
    spit("caf\xC3\xA9.vks", data);
    spit("prezzo \xE2\x82\xAC.vks", data);
    for (const char* name :
         {"d\xECsco \xE8.vks", "caf\xE9.vks", "prezzo \x80.vks", "prezzo \xE2\x82\xAC.vks"}) {
        SCOPED_TRACE(name);
        const kadro::TrackImageRead read = ReadTrackImage(name);
        EXPECT_FALSE(read.failure.has_value());
        EXPECT_EQ(read.TrackImage, data);
    }
}

TEST_F(ImagePreparation, ANameIsUsedAsGivenBackslashesIncluded) {
    // Names unpacked from archives made elsewhere may hold backslashes; they are plain bytes of
    // the name here, not folder separators.
    const std::string data = Pattern(1000, false);
    spit("GAMES\\DISK1.VKS", data);
    EXPECT_EQ(MEMOREAD("GAMES\\DISK1.VKS"), data);
    EXPECT_EQ(ReadTrackImage("GAMES\\DISK1.VKS").TrackImage, data);
}

TEST_F(ImagePreparation, ReadsAFileSomeoneIsWriting) {
    const std::string data = Pattern(200000, false);
    const int writer = ::open("busy.img", O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, data.data(), data.size()), static_cast<ssize_t>(data.size()));
    EXPECT_EQ(MEMOREAD("busy.img"), data);
    EXPECT_EQ(ReadTrackImage("busy.img").TrackImage, Blocks(data, {{0, 42}, {1, 43}}));
    ::close(writer);
}

TEST_F(ImagePreparation, HugeFileGivesTheFirstFullImage) {
    const std::string head = Pattern(800000, false);
    spit("huge.img", head);
    ASSERT_EQ(::truncate("huge.img", 100 * 1024 * 1024), 0);  // sparse: reads as zeros
    const std::string expected = Blocks(head, {{0, 158}, {1, 159}});
    EXPECT_EQ(ReadTrackImage("huge.img").TrackImage, expected);
    std::ofstream("huge.img", std::ios::binary | std::ios::in | std::ios::ate)
            .seekp(-1, std::ios::end)
        << '\x1A';
    EXPECT_EQ(ReadTrackImage("huge.img").TrackImage, expected);
}

}  // namespace
}  // namespace kadro::test
