#include <algorithm>
#include <string>

#include "platform/append_file.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/win32/special_file.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {

namespace {

HANDLE as_handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

std::wstring native_path(std::string_view path) {
    return AsWide(TextToUtf16(NativePath(path)));
}

}  // namespace

AppendFileResult AppendFile::open(std::string_view path) {
    const std::wstring native = native_path(path);
    if (native.empty()) {
        return {std::nullopt, SystemErrorText(ERROR_PATH_NOT_FOUND)};
    }
    // Append access alone makes every write land at the end; the file stays readable, renamable
    // and deletable for others while it is open.
    HANDLE handle = ::CreateFileW(native.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A folder is refused as "access denied"; say what it is instead, as on other systems.
        return {std::nullopt, code == ERROR_ACCESS_DENIED && detail::IsFolder(native)
                                  ? std::string("Is a directory")
                                  : SystemErrorText(code)};
    }
    AppendFile file(reinterpret_cast<std::intptr_t>(handle), 0);
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        return {std::nullopt, detail::KindOfSpecialFile(type)};
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle, &size) == 0) {
        return {std::nullopt, SystemErrorText(::GetLastError())};
    }
    file.m_size = size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return {std::move(file), {}};
}

std::optional<std::size_t> AppendFile::write_once(std::intptr_t handle, std::string_view data,
                                                  std::string* error) {
    constexpr std::size_t kChunk = 1u << 30;  // a DWORD counts the bytes
    DWORD done = 0;
    if (::WriteFile(as_handle(handle), data.data(),
                    static_cast<DWORD>(std::min(kChunk, data.size())), &done, nullptr) == 0) {
        *error = SystemErrorText(::GetLastError());
        return std::nullopt;
    }
    if (done == 0) {
        *error = SystemErrorText(ERROR_DISK_FULL);
        return std::nullopt;
    }
    return done;
}

std::string RenameReplacing(std::string_view from, std::string_view to) {
    if (::MoveFileExW(native_path(from).c_str(), native_path(to).c_str(),
                      MOVEFILE_REPLACE_EXISTING) == 0) {
        return SystemErrorText(::GetLastError());
    }
    return {};
}

}  // namespace platform
