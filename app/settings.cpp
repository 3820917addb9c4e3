#include "app/settings.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace kadro {

namespace {
// The program hands over one byte less than the buffer holds, so the longest value it can
// get is 4094 bytes.
constexpr std::size_t kBufferBytes = 4096;
constexpr int kDeclaredBytes = 4095;

// The reason, in the code page's bytes ("\xE8" is the accented e).
const char* reason_for(platform::ProfileFileAccess access) {
    switch (access) {
        case platform::ProfileFileAccess::kAccessDenied:
            return "accesso negato";
        case platform::ProfileFileAccess::kNotRegularFile:
            return "non \xE8 un file normale";
        case platform::ProfileFileAccess::kTooLarge:
            return "file troppo grande";
        default:
            return "errore di apertura";
    }
}

// The file's name without the folders before it.
std::string_view file_name_of(std::string_view path) {
    const std::size_t separator = path.find_last_of("\\/");
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

}  // namespace

std::string SettingsFileFullPath(std::string_view cIniPath) {
    const std::string native = platform::TextToUtf8(platform::NativePath(cIniPath));
    std::error_code ec;
    const std::filesystem::path full =
        std::filesystem::absolute(std::u8string(native.begin(), native.end()), ec);
    if (ec) {
        return std::string(cIniPath);
    }
    const std::u8string utf8 = full.lexically_normal().u8string();
    return platform::Utf16ToAnsi(platform::Utf8ToUtf16(std::string(utf8.begin(), utf8.end())));
}

std::optional<std::string> SettingsFileProblem(std::string_view cIniPath) {
    const platform::ProfileFileAccess access = platform::CheckProfileFile(cIniPath);
    if (access == platform::ProfileFileAccess::kReadable ||
        access == platform::ProfileFileAccess::kMissing) {
        return std::nullopt;
    }
    return "Impossibile leggere il file delle impostazioni " + std::string(file_name_of(cIniPath)) +
           " (" + reason_for(access) + ").";
}

std::string GETPVPROFSTRING(std::string_view cSectionName, std::string_view cKeyName,
                            std::string_view cDefaultValue, std::string_view cIniPath) {
    std::array<char, kBufferBytes> buffer{};
    const int copied = platform::GetPrivateProfileString(cSectionName, cKeyName, cDefaultValue,
                                                         buffer.data(), kDeclaredBytes, cIniPath);
    if (copied <= 0) {
        return {};
    }
    return std::string(buffer.data(), static_cast<std::size_t>(copied));
}

bool WRITEPPROSTRING(std::string_view cSectionName, std::string_view cKeyName,
                     std::string_view cValue, std::string_view cIniPath) {
    return platform::WritePrivateProfileString(cSectionName, cKeyName, cValue, cIniPath);
}

}  // namespace kadro
