#include "platform/profile.h"

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>

#include "platform/file_read.h"
#include "platform/paths.h"
#include "platform/profile_text.h"

namespace platform {

namespace {

// The whole file when it can be read. `complete` tells whether everything the file held
// could be read; a file larger than the limit is not read at all.
struct FileText {
    ProfileFileAccess access = ProfileFileAccess::kMissing;
    bool complete = false;
    std::string text;
};

ProfileFileAccess access_after(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::kNone:
            return ProfileFileAccess::kReadable;
        case OpenFailure::kNotFound:
            return ProfileFileAccess::kMissing;
        case OpenFailure::kNotRegularFile:
            return ProfileFileAccess::kNotRegularFile;
        case OpenFailure::kAccessDenied:
            return ProfileFileAccess::kAccessDenied;
        case OpenFailure::kOther:
            break;
    }
    return ProfileFileAccess::kOther;
}

FileText read_file(std::string_view path, bool want_text) {
    FileText result;
    ReadOnlyFileResult opened = ReadOnlyFile::open(NativePath(path));
    result.access = access_after(opened.failure);
    if (!opened.file) {
        return result;
    }
    if (opened.file->size() > kMaxProfileFileBytes) {
        result.access = ProfileFileAccess::kTooLarge;
        return result;
    }
    if (want_text) {
        result.text = opened.file->read_from_start(opened.file->size());
        result.complete = result.text.size() == opened.file->size();
    }
    return result;
}

std::mutex& write_mutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

int GetPrivateProfileString(std::string_view section, std::string_view key,
                            std::string_view default_value, char* buffer, int buffer_size,
                            std::string_view file_path) {
    if (buffer == nullptr || buffer_size < 1) {
        return 0;
    }
    const FileText file = read_file(file_path, true);
    std::string_view result = default_value;
    if (file.access == ProfileFileAccess::kReadable) {
        if (std::optional<std::string_view> value = FindProfileValue(file.text, section, key)) {
            result = *value;
        }
    }
    const std::size_t count = std::min(result.size(), static_cast<std::size_t>(buffer_size) - 1);
    result.copy(buffer, count);
    buffer[count] = '\0';
    return static_cast<int>(count);
}

ProfileFileAccess CheckProfileFile(std::string_view file_path) {
    return read_file(file_path, false).access;
}

bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, std::string_view file_path) {
    if (!UpdateProfileText("", section, key, value)) {
        return false;  // refused before the file is looked at
    }
    const std::lock_guard<std::mutex> lock(write_mutex());
    FileText file = read_file(file_path, true);
    if (file.access != ProfileFileAccess::kMissing &&
        (file.access != ProfileFileAccess::kReadable || !file.complete)) {
        return false;  // writing back what little could be read would destroy the rest
    }
    const std::optional<std::string> updated =
        UpdateProfileText(std::move(file.text), section, key, value);
    return updated && ReplaceFileContents(file_path, *updated);
}

}  // namespace platform
