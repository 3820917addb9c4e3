// CGETFILE's argument rules and conversions, with a display that records what it is asked and
// answers as a person would.

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/display.h"
#include "platform/file_chooser.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "ui/file_chooser.h"

namespace kadro::test {
namespace {

using platform::FileChooserRequest;

class ScriptedChooser : public platform::Display {
  public:
    std::optional<std::vector<std::string>> choose_files(const FileChooserRequest& r) override {
        ++calls;
        request = r;
        if (change_directory) {
            std::filesystem::current_path("/");
        }
        return answer;
    }
    // A message box is recorded and answered with OK.
    void message_box_shown(platform::HWND box) override {
        platform::MessageBoxContent content;
        platform::GetMessageBoxContent(box, &content);
        boxes.push_back(content);
        platform::PostMessage(box, platform::WM_COMMAND, platform::IDOK, 0);
    }
    int calls = 0;
    std::vector<platform::MessageBoxContent> boxes;
    FileChooserRequest request;
    std::optional<std::vector<std::string>> answer;
    bool change_directory = false;
};

class FileChooser : public ::testing::Test {
  protected:
    void SetUp() override {
        auto display = std::make_unique<ScriptedChooser>();
        m_display = display.get();
        platform::AttachDisplay(std::move(display));
        m_dir = std::filesystem::temp_directory_path();
    }
    void TearDown() override { platform::AttachDisplay(nullptr); }

    ScriptedChooser* m_display = nullptr;
    std::filesystem::path m_dir;
};

TEST_F(FileChooser, TheProgramsCallShowsOneFilterTheTitleAndTheStartFolder) {
    m_display->answer = std::vector<std::string>{(m_dir / "disk.vks").string()};
    CGetFileResult result = CGETFILE({.cFilter = "File VKS (*.vks)|*.vks",
                                      .cTitle = "Seleziona immagine da inviare",
                                      .cInitDir = m_dir.string()});
    EXPECT_EQ(ChosenPath(result), (m_dir / "disk.vks").string());
    const auto& r = m_display->request;
    EXPECT_EQ(r.kind, FileChooserRequest::Kind::Open);
    ASSERT_EQ(r.filters.size(), 1u);
    EXPECT_EQ(r.filters[0].first, "File VKS (*.vks)");
    EXPECT_EQ(r.filters[0].second, "*.vks");
    EXPECT_EQ(r.title, "Seleziona immagine da inviare");
    EXPECT_EQ(r.initial_dir, m_dir.string());
    EXPECT_EQ(r.filter_index, 1);
    EXPECT_EQ(r.flags, 0x80Cu);
}

TEST_F(FileChooser, CancelAndNoArgumentsGiveAnEmptyPath) {
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "x"})), "");
    EXPECT_EQ(m_display->calls, 1);
    EXPECT_EQ(ChosenPath(CGETFILE({})), "");
    EXPECT_EQ(m_display->calls, 1) << "no argument shows nothing";
}

TEST_F(FileChooser, DefaultsForTitleFilterIndexAndSaveMode) {
    CGETFILE({.cFilter = "a|*.a|b|*.b"});
    EXPECT_EQ(m_display->request.title, "Select the file");
    EXPECT_EQ(m_display->request.filter_index, 1);
    CGETFILE({.cFilter = "a|*.a|b|*.b", .nFilterIndex = 257});
    EXPECT_EQ(m_display->request.filter_index, 1) << "only the low 8 bits count";
    CGETFILE({.cFilter = "a|*.a|b|*.b", .nFilterIndex = 2});
    EXPECT_EQ(m_display->request.filter_index, 2);
    CGETFILE({.cInitFile = "name.vks"});
    EXPECT_EQ(m_display->request.kind, FileChooserRequest::Kind::Save)
        << "a start name without lSave asks for the save chooser";
    CGETFILE({.lSave = false, .cInitFile = "name.vks"});
    EXPECT_EQ(m_display->request.kind, FileChooserRequest::Kind::Open);
}

TEST_F(FileChooser, ZeroFlagsAreBuiltFromTheOtherArguments) {
    CGETFILE({.cTitle = "t", .lSave = false, .nFlags = 0});
    EXPECT_EQ(m_display->request.flags, platform::OFN_PATHMUSTEXIST | platform::OFN_NOCHANGEDIR);
    CGETFILE({.cTitle = "t", .lSave = true, .lLongNames = true, .nFlags = 0});
    EXPECT_EQ(m_display->request.flags, platform::OFN_PATHMUSTEXIST | platform::OFN_NOCHANGEDIR |
                                            platform::OFN_HIDEREADONLY | platform::OFN_LONGNAMES);
    CGETFILE({.cTitle = "t", .nFlags = 0x4});
    EXPECT_EQ(m_display->request.flags, 0x4u) << "non-zero flags are used unchanged";
}

TEST_F(FileChooser, NonAsciiFiltersSplitOnlyAtBarsAndAreReadAsUtf8OnlyWhenValid) {
    CGETFILE({.cFilter = "Immagini \xE8|*.vks|Tutti \xC3\xA8|*.*"});
    ASSERT_EQ(m_display->request.filters.size(), 2u);
    EXPECT_EQ(m_display->request.filters[0].first, "Immagini \xC3\xA8") << "ANSI byte 0xE8";
    EXPECT_EQ(m_display->request.filters[1].first, "Tutti \xC3\x83\xC2\xA8")
        << "one invalid sequence makes the whole argument ANSI";
    CGETFILE({.cFilter = "Tutti \xC3\xA8|*.*"});
    ASSERT_EQ(m_display->request.filters.size(), 1u);
    EXPECT_EQ(m_display->request.filters[0].first, "Tutti \xC3\xA8") << "valid UTF-8 kept";
}

TEST_F(FileChooser, PathsBelow256ComeBackOneBytePerCharacterOthersAsUtf8) {
    m_display->answer = std::vector<std::string>{(m_dir / "caff\xC3\xA8.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), (m_dir / "caff\xE8.vks").string());
    m_display->answer = std::vector<std::string>{(m_dir / "\xE2\x82\xAC.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), (m_dir / "\xE2\x82\xAC.vks").string());
}

TEST_F(FileChooser, ANameTheFileCallsWouldReadAsAnotherFileIsRefusedWithAMessage) {
    // "Ä¡": both characters below 256, so one byte each, C4 A1, which the file calls read as
    // the UTF-8 of "ġ": another file's name.
    m_display->answer = std::vector<std::string>{(m_dir / "\xC3\x84\xC2\xA1.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), "");
    ASSERT_EQ(m_display->boxes.size(), 1u);
    EXPECT_NE(m_display->boxes[0].text.find("\xC4\xA1.vks"), std::string::npos)
        << m_display->boxes[0].text;
    EXPECT_EQ(m_display->boxes[0].caption, "Attenzione");
    // A C1 control character: its byte, 0x85, reads as the ellipsis.
    m_display->answer = std::vector<std::string>{(m_dir / "\xC2\x85.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), "");
    EXPECT_EQ(m_display->boxes.size(), 2u);
    // Names that read back come back as before, without a word.
    m_display->answer = std::vector<std::string>{(m_dir / "caff\xC3\xA8.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), (m_dir / "caff\xE8.vks").string());
    m_display->answer = std::vector<std::string>{(m_dir / "\xD0\x96.vks").string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), (m_dir / "\xD0\x96.vks").string());
    EXPECT_EQ(m_display->boxes.size(), 2u);
}

TEST_F(FileChooser, APathInAMissingFolderOrTooLongIsRefused) {
    m_display->answer = std::vector<std::string>{"/no/such/folder/x.vks"};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), "");
    m_display->answer = std::vector<std::string>{(m_dir / std::string(300, 'a')).string()};
    EXPECT_EQ(ChosenPath(CGETFILE({.cTitle = "t"})), "");
}

TEST_F(FileChooser, TheCurrentDirectoryIsUnchangedAfterwards) {
    auto before = std::filesystem::current_path();
    m_display->change_directory = true;
    m_display->answer = std::vector<std::string>{(m_dir / "x.vks").string()};
    CGETFILE({.cTitle = "t"});
    EXPECT_EQ(std::filesystem::current_path(), before);
}

TEST_F(FileChooser, MultipleSelectionReturnsTheFolderThenTheNames) {
    m_display->answer =
        std::vector<std::string>{(m_dir / "a.vks").string(), (m_dir / "b.vks").string()};
    CGetFileResult result = CGETFILE({.cTitle = "t", .nFlags = 0x80C | 0x200});
    auto* parts = std::get_if<std::vector<std::string>>(&result);
    ASSERT_NE(parts, nullptr);
    EXPECT_EQ(*parts, (std::vector<std::string>{m_dir.string(), "a.vks", "b.vks"}));
}

}  // namespace
}  // namespace kadro::test
