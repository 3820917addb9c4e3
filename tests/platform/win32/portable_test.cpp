// The portable parts of the program (mode strings, profile files, image preparation, text
// conversion, error texts, housekeeping) as the Windows executable runs them on the real file
// system, with its own attributes, code pages and wide-character calls.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "app/image_preparation.h"
#include "app/settings.h"
#include "comm/serial_port.h"
#include "platform/file_read.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/serial_settings.h"
#include "platform/system_error.h"
#include "platform/text.h"
#include "support/error_handler.h"
#include "support/housekeeping.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

// The program's own function of this name, not the system's narrow-or-wide macro.
#undef GetModuleFileName

namespace kadro::test {
namespace {

namespace fs = std::filesystem;

// Each test runs in a fresh folder under the system's temporary folder as its current
// directory; everything is removed afterwards, read-only attributes included.
class WindowsScratch : public ::testing::Test {
  protected:
    void SetUp() override {
        std::wstring base = fs::temp_directory_path().wstring();
        for (unsigned n = ::GetTickCount(); m_dir.empty(); ++n) {
            fs::path candidate = fs::path(base) / (L"kadro-" + std::to_wstring(n));
            if (::CreateDirectoryW(candidate.c_str(), nullptr) != 0) {
                m_dir = candidate;
            }
        }
        m_previous = fs::current_path();
        fs::current_path(m_dir);
    }
    void TearDown() override {
        fs::current_path(m_previous);
        for (const auto& entry : fs::recursive_directory_iterator(m_dir)) {
            ::SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    static void spit(const fs::path& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    static std::string slurp(const fs::path& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::size_t entries() {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator("."), fs::directory_iterator()));
    }

    fs::path m_dir;
    fs::path m_previous;
};

// --- Mode strings: our parser against the system's own ---

::DCB system_dcb(const char* mode) {
    ::DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    EXPECT_NE(::BuildCommDCBA(mode, &dcb), 0) << mode;
    return dcb;
}

// Our own parser (the one the Linux build uses) must read the strings as the system does.
TEST(ModeStrings, OurParserReadsTheNamedFieldsAsTheSystemDoes) {
    for (const char* mode : {"57600,N,8,1", "9600,E,7,2", "1200,O,8,1,x", "19200,N,8,1,p",
                             "baud=2400 parity=e data=7 stop=2"}) {
        SCOPED_TRACE(mode);
        auto ours = platform::ParseModeString(mode);
        ASSERT_TRUE(ours.has_value());
        ::DCB theirs = system_dcb(mode);
        EXPECT_EQ(ours->BaudRate, theirs.BaudRate);
        EXPECT_EQ(ours->ByteSize, theirs.ByteSize);
        EXPECT_EQ(ours->Parity, theirs.Parity);
        EXPECT_EQ(ours->StopBits, theirs.StopBits);
    }
}

TEST(ModeStrings, TheRecordIsTheSystemsTwentyEightBytes) {
    std::string record;
    ASSERT_TRUE(kadro::BUILDCOMMDCB("57600,N,8,1", record));
    ASSERT_EQ(record.size(), sizeof(::DCB));
    ::DCB dcb{};
    std::memcpy(&dcb, record.data(), sizeof dcb);
    EXPECT_EQ(dcb.DCBlength, sizeof(::DCB));
    EXPECT_EQ(dcb.BaudRate, 57600u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.fOutxCtsFlow, 0u);
    EXPECT_EQ(dcb.fOutX, 0u);
    EXPECT_EQ(dcb.fInX, 0u);
    EXPECT_EQ(dcb.fBinary, 1u);

    record = "stale";
    EXPECT_FALSE(kadro::BUILDCOMMDCB("57600,Q,8,1", record));
    EXPECT_EQ(record, "");
}

// --- Profile files ---

using ProfileFiles = WindowsScratch;

TEST_F(ProfileFiles, ThePortIsWrittenWithCrLfAndReadBack) {
    EXPECT_EQ(kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI"), "");
    ASSERT_TRUE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    EXPECT_EQ(kadro::GETPVPROFSTRING("Impostazioni", "Porta", "", ".\\KADRO.INI"), "COM1");
    EXPECT_EQ(entries(), 1u) << "the temporary file of the replacement is left behind";
}

TEST_F(ProfileFiles, AReplacementKeepsTheOtherLinesAndLeavesNoTemporaryFile) {
    spit("KADRO.INI", "[Altro]\r\nChiave=1\r\n[Impostazioni]\r\nPorta=COM1\r\n");
    ASSERT_TRUE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM5", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Altro]\r\nChiave=1\r\n[Impostazioni]\r\nPorta=COM5\r\n");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ProfileFiles, ATemporaryFileLeftByAnEndedWriterGoesAtTheNextWrite) {
    spit("KADRO.INI", "[Impostazioni]\r\nPorta=COM1\r\n");
    // No process runs with this id (ids are multiples of 4, far below it).
    const std::string ended = "~KADRO.INI.999999997.3.tmp";
    const std::string own = "~KADRO.INI." + std::to_string(::GetCurrentProcessId()) + ".999.tmp";
    const std::string other_file = "~ALTRO.INI.999999997.3.tmp";
    const std::string not_ours = "~KADRO.INI.999999997.tmp";
    for (const std::string& name : {ended, own, other_file, not_ours}) {
        spit(name, "x");
    }
    ASSERT_TRUE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM5", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\nPorta=COM5\r\n");
    EXPECT_FALSE(fs::exists(ended));
    // A writer that still runs (here: this one) may move its file into place any moment.
    EXPECT_TRUE(fs::exists(own));
    EXPECT_TRUE(fs::exists(other_file));
    EXPECT_TRUE(fs::exists(not_ours));
    EXPECT_EQ(entries(), 4u);
}

TEST_F(ProfileFiles, AReadOnlyFileIsNotReplaced) {
    spit("KADRO.INI", "[Impostazioni]\r\n");
    ASSERT_NE(::SetFileAttributesW(L"KADRO.INI", FILE_ATTRIBUTE_READONLY), 0);
    EXPECT_FALSE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_EQ(slurp("KADRO.INI"), "[Impostazioni]\r\n");
    EXPECT_EQ(entries(), 1u);
}

TEST_F(ProfileFiles, AFolderInTheWayOrAMissingFolderIsAFailure) {
    ASSERT_NE(::CreateDirectoryW(L"KADRO.INI", nullptr), 0);
    EXPECT_FALSE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\KADRO.INI"));
    EXPECT_FALSE(kadro::WRITEPPROSTRING("Impostazioni", "Porta", "COM1", "no\\such\\KADRO.INI"));
}

// --- Image preparation and file names ---

using ImageFiles = WindowsScratch;

TEST_F(ImageFiles, AnAccentedNameInTheAnsiCodePageOpensTheFileOfThatName) {
    std::string raw(2 * 4608, '\0');
    for (std::size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<char>(i / 4608 + 1);
    }
    spit(fs::path(L"immagine_\u00e8.vks"), raw + "\x1A");
    // "è" is the byte 0xE8 in the program's code page, as the chooser returns it.
    EXPECT_EQ(kadro::MEMOREAD("immagine_\xE8.vks"), raw);
    kadro::TrackImageRead track = kadro::ReadTrackImage("immagine_\xE8.vks");
    EXPECT_EQ(track.TrackImage, raw);
    EXPECT_FALSE(track.failure);
}

TEST_F(ImageFiles, ANameOutsideTheCodePageArrivesInUtf8) {
    spit(fs::path(L"\u0416.vks"), "abc");
    EXPECT_EQ(kadro::MEMOREAD("\xD0\x96.vks"), "abc");
}

TEST_F(ImageFiles, ATwoSidedImageIsRearrangedAndAFolderOrMissingFileReadsEmpty) {
    std::string raw(50 * 4608, '\0');
    for (std::size_t i = 0; i < raw.size(); ++i) {
        raw[i] = static_cast<char>(i / 4608);
    }
    spit("big.vks", raw);
    std::string track = kadro::ReadTrackImage("big.vks").TrackImage;
    ASSERT_EQ(track.size(), raw.size());
    EXPECT_EQ(track[0], 0);
    EXPECT_EQ(track[4608], 2);
    EXPECT_EQ(track[25 * 4608], 1);
    ASSERT_NE(::CreateDirectoryW(L"folder.vks", nullptr), 0);
    EXPECT_EQ(kadro::MEMOREAD("folder.vks"), "");
    EXPECT_EQ(kadro::MEMOREAD("missing.vks"), "");
    auto opened = platform::ReadOnlyFile::open("folder.vks");
    EXPECT_EQ(opened.failure, platform::OpenFailure::kNotRegularFile);
    EXPECT_EQ(opened.reason, "Is a directory");
    auto missing = platform::ReadOnlyFile::open("missing.vks");
    EXPECT_EQ(missing.failure, platform::OpenFailure::kNotFound);
    EXPECT_FALSE(missing.file);
    // The system's own text, as the person would see it anywhere else on this system.
    EXPECT_EQ(missing.reason, platform::SystemErrorText(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(platform::SystemErrorText(ERROR_FILE_NOT_FOUND).find("error "), std::string::npos);
    EXPECT_EQ(kadro::ReadTrackImage("missing.vks").failure, missing.reason);
}

TEST_F(ImageFiles, ReadingIsBoundedByTheFileAndTheSizeFoundAtOpen) {
    spit("part.vks", "0123456789");
    auto opened = platform::ReadOnlyFile::open("part.vks");
    ASSERT_TRUE(opened.file);
    EXPECT_TRUE(opened.reason.empty());
    const platform::ReadOnlyFile& file = *opened.file;
    EXPECT_EQ(file.size(), 10u);
    platform::FileReadResult middle = file.read_at(3, 4);
    EXPECT_EQ(middle.data, "3456");
    EXPECT_TRUE(middle.error.empty());
    EXPECT_EQ(file.read_at(8, 100).data, "89");
    EXPECT_EQ(file.read_at(10, 1).data, "");
    EXPECT_EQ(file.read_byte_at(9), '9');
    EXPECT_FALSE(file.read_byte_at(10));
    // Grown meanwhile: nothing beyond the size found at open.
    spit("part.vks", "0123456789ABCDEF");
    EXPECT_EQ(file.read_from_start(100), "0123456789");
    // Shrunk meanwhile: less, and no error.
    spit("part.vks", "01234");
    platform::FileReadResult shrunk = file.read_at(0, 10);
    EXPECT_EQ(shrunk.data, "01234");
    EXPECT_TRUE(shrunk.error.empty());
    EXPECT_FALSE(file.read_byte_at(7));
}

TEST_F(ImageFiles, AFileHeldOpenForWritingElsewhereCanBeRead) {
    HANDLE writer = ::CreateFileW(L"busy.vks", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_NE(::WriteFile(writer, "data", 4, &written, nullptr), 0);
    EXPECT_EQ(kadro::MEMOREAD("busy.vks"), "data");
    ::CloseHandle(writer);
}

// --- Text conversion at the system boundary ---

TEST(WideText, AnsiBytesAndUtf8BothReachTheSystemAsTheirCharacters) {
    EXPECT_EQ(platform::TextToUtf16("Porta \xE8 \x80"), u"Porta \u00e8 \u20ac");
    // Code-page text that happens to be UTF-8 of characters the code page holds stays code
    // page: the chooser hands back UTF-8 only for characters beyond it.
    EXPECT_EQ(platform::TextToUtf16("\xC3\xA8"), u"\u00c3\u00a8");
    EXPECT_EQ(platform::TextToUtf16("\xD0\x96.vks"), u"\u0416.vks");
    EXPECT_EQ(platform::TextFromUtf16(u"Porta \u00e8 \u20ac"), "Porta \xE8 \x80");
    EXPECT_EQ(platform::TextFromUtf16(u"\u0416"), "\xD0\x96");
    EXPECT_EQ(platform::TextFromUtf16(u"\x7F"
                                      u"VIEW1.NTX"),
              "\x7FVIEW1.NTX");
}

TEST(WideText, ANameTheSystemGaveComesBackOnlyWhenItLeadsToTheSameName) {
    EXPECT_EQ(platform::NameFromUtf16(u"caff\u00E8.vks"), "caff\xE8.vks");
    EXPECT_EQ(platform::NameFromUtf16(u"\u0416 \u00E8.vks"), "\xD0\x96 \xC3\xA8.vks");
    // Bytes C4 A1 would read back as U+0121, U+0085 as the ellipsis 0x85 stands for, and a lone
    // surrogate has no UTF-8 at all: each of these names would reach another file.
    EXPECT_EQ(platform::NameFromUtf16(u"\u00C4\u00A1.vks"), std::nullopt);
    EXPECT_EQ(platform::NameFromUtf16(u"\u0085.vks"), std::nullopt);
    EXPECT_EQ(platform::NameFromUtf16(std::u16string(1, char16_t(0xD800)) + u".vks"), std::nullopt);
    for (const char16_t* name : {u"caff\u00E8.vks", u"\u0416.vks", u"\u20AC \U0001F4BE.vks"}) {
        std::optional<std::string> text = platform::NameFromUtf16(name);
        ASSERT_TRUE(text);
        EXPECT_EQ(platform::TextToUtf16(*text), name);
    }
}

// The system's temporary folder read whole, even where the system's code page lacks its
// characters (the C library would hand back '?' for them).
TEST_F(ImageFiles, TheTemporaryFolderIsReadAsTheSystemNamesIt) {
    const wchar_t* before = ::_wgetenv(L"TEMP");
    const std::wstring saved = before != nullptr ? before : L"";
    const fs::path folder = m_dir / L"\u0416\u00E8 temp";
    ASSERT_NE(::CreateDirectoryW(folder.c_str(), nullptr), 0);
    ASSERT_EQ(::_wputenv_s(L"TEMP", folder.c_str()), 0);
    EXPECT_EQ(platform::TextToUtf16(kadro::TempSearchFolder()), folder.u16string());
    ASSERT_EQ(::_wputenv_s(L"TEMP", (m_dir / L"\u00C4\u00A1").c_str()), 0);
    EXPECT_EQ(kadro::TempSearchFolder(), "/") << "a name that leads elsewhere is not used";
    ::_wputenv_s(L"TEMP", saved.c_str());
}

// --- The system's code page ---

// with_code_page.py runs these tests once more with another code page for the system; then it
// must be the one asked for, or that run proves nothing.
TEST(SystemCodePage, IsTheOneTheRunAskedFor) {
    const char* wanted = std::getenv("KADRO_TEST_ACP");
    if (wanted == nullptr) {
        GTEST_SKIP() << "runs under with_code_page.py";
    }
    EXPECT_EQ(::GetACP(), static_cast<UINT>(std::stoul(wanted)));
}

// --- Process ---

TEST(Process, TheExecutableAndTheErrorModeComeFromTheSystem) {
    std::string path = platform::GetModuleFileName();
    EXPECT_NE(path.find("windows_portable_tests.exe"), std::string::npos) << path;
    EXPECT_EQ(kadro::ExecutablePath(), path);
    unsigned before = kadro::SETERRORMODE(SEM_FAILCRITICALERRORS);
    EXPECT_EQ(::GetErrorMode() & SEM_FAILCRITICALERRORS, static_cast<UINT>(SEM_FAILCRITICALERRORS));
    EXPECT_EQ(kadro::SETERRORMODE(before) & SEM_FAILCRITICALERRORS,
              static_cast<unsigned>(SEM_FAILCRITICALERRORS));
}

TEST(ErrorTexts, TheMessageAndTheReportAddressCarryTheFailingFile) {
    kadro::RuntimeError error;
    error.GENCODE = 21;
    error.SUBCODE = 1002;
    error.OSCODE = 2;
    error.SUBSYSTEM = "BASE";
    error.DESCRIPTION = "Open error";
    error.FILENAME = "C:\\DATI\\IMMAGINE.VKS";
    std::string message = kadro::ERRORMESSAGE(error);
    EXPECT_EQ(message.rfind("Error BASE/1002  Open error: C:\\DATI\\IMMAGINE.VKS", 0), 0u)
        << message;
    std::string address = kadro::ErrorReportMailAddress(message, kadro::ExecutablePath());
    EXPECT_EQ(address.rfind("mailto:", 0), 0u) << address;
    EXPECT_NE(address.find("Rapporto"), std::string::npos) << address;
}

// --- Housekeeping on the system's attributes ---

using Housekeeping = WindowsScratch;

TEST_F(Housekeeping, StartUpDeletesMarkedFilesButNotHiddenOrSystemOnes) {
    spit(
        "\x7F"
        "A.TMP",
        "x");
    spit(
        "\x7F"
        "H.TMP",
        "x");
    spit(
        "\x7F"
        "S.TMP",
        "x");
    spit("KEEP.TXT", "x");
    ::SetFileAttributesW(
        L"\x7F"
        L"H.TMP",
        FILE_ATTRIBUTE_HIDDEN);
    ::SetFileAttributesW(
        L"\x7F"
        L"S.TMP",
        FILE_ATTRIBUTE_SYSTEM);
    platform::DeletePlainFiles(
        "", [](std::string_view name) { return name.starts_with('\x7F'); },
        platform::HiddenFiles::kSkip, platform::OnFailure::kContinue);
    EXPECT_FALSE(
        fs::exists("\x7F"
                   "A.TMP"));
    EXPECT_TRUE(
        fs::exists("\x7F"
                   "H.TMP"));
    EXPECT_TRUE(
        fs::exists("\x7F"
                   "S.TMP"));
    EXPECT_TRUE(fs::exists("KEEP.TXT"));
}

TEST_F(Housekeeping, ALeftoverFolderGoesOnlyWhenEverythingInItCouldBeDeleted) {
    fs::create_directories(
        "temp/\x7F"
        "EMPTIED/");
    spit(
        "temp/\x7F"
        "EMPTIED/a",
        "x");
    spit(
        "temp/\x7F"
        "EMPTIED/h",
        "x");
    ::SetFileAttributesW(
        L"temp\\\x7F"
        L"EMPTIED\\h",
        FILE_ATTRIBUTE_HIDDEN);
    fs::create_directories(
        "temp/\x7F"
        "STUCK");
    spit(
        "temp/\x7F"
        "STUCK/a",
        "x");
    ::SetFileAttributesW(
        L"temp\\\x7F"
        L"STUCK\\a",
        FILE_ATTRIBUTE_READONLY);
    spit(
        "temp/\x7F"
        "STUCK/b",
        "x");
    fs::create_directories(
        "temp/\x7F"
        "NESTED/inner");
    spit(
        "temp/\x7F"
        "PLAIN",
        "x");
    platform::RemoveLeftoverFolders("temp", "\x7F");
    EXPECT_FALSE(
        fs::exists("temp/\x7F"
                   "EMPTIED"));
    EXPECT_TRUE(
        fs::exists("temp/\x7F"
                   "STUCK/a"));
    EXPECT_TRUE(
        fs::exists("temp/\x7F"
                   "NESTED/inner"));
    EXPECT_TRUE(
        fs::exists("temp/\x7F"
                   "PLAIN"));
}

TEST_F(Housekeeping, RemoveEmptyFolderAndDeletePlainFileTakeOnlyWhatTheyName) {
    fs::create_directories("empty");
    fs::create_directories("full/x");
    spit("file", "x");
    EXPECT_TRUE(platform::RemoveEmptyFolder("empty\\"));
    EXPECT_FALSE(platform::RemoveEmptyFolder("full"));
    EXPECT_FALSE(platform::RemoveEmptyFolder("file"));
    EXPECT_FALSE(platform::DeletePlainFile("full"));
    EXPECT_TRUE(platform::IsPlainFile("file"));
    EXPECT_TRUE(platform::DeletePlainFile("file"));
    EXPECT_FALSE(fs::exists("file"));
}

}  // namespace
}  // namespace kadro::test
