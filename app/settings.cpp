#include "app/settings.h"

#include <array>

#include "platform/profile.h"

namespace kadro {

namespace {
// The program hands over one byte less than the buffer holds, so the longest value it can
// get is 4094 bytes.
constexpr std::size_t kBufferBytes = 4096;
constexpr int kDeclaredBytes = 4095;
}  // namespace

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
