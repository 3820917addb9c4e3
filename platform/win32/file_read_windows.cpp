#include <algorithm>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_read.h"
#include "platform/paths.h"
#include "platform/system_error.h"
#include "platform/temporary_file_internal.h"
#include "platform/win32/special_file.h"
#include "platform/win32/wide_text.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace platform {

namespace {

HANDLE as_handle(std::intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}

OpenFailure failure_from_error(DWORD error, const std::wstring& path) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            return OpenFailure::kNotFound;
        case ERROR_ACCESS_DENIED:
            return detail::IsFolder(path) ? OpenFailure::kNotRegularFile
                                          : OpenFailure::kAccessDenied;
        default:
            return OpenFailure::kOther;
    }
}

}  // namespace

ReadOnlyFileResult ReadOnlyFile::open(std::string_view path) {
    const std::wstring native = AsWide(TextToUtf16(path));
    HANDLE handle = ::CreateFileW(native.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const OpenFailure failure = failure_from_error(code, native);
        // A folder is refused as "access denied"; say what it is instead, as on other systems.
        return {std::nullopt, failure,
                failure == OpenFailure::kNotRegularFile ? std::string("Is a directory")
                                                        : SystemErrorText(code)};
    }
    ReadOnlyFile file(reinterpret_cast<std::intptr_t>(handle), 0);
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        return {std::nullopt, OpenFailure::kNotRegularFile, detail::KindOfSpecialFile(type)};
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle, &size) == 0) {
        return {std::nullopt, OpenFailure::kOther, SystemErrorText(::GetLastError())};
    }
    file.m_size = size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return {std::move(file), OpenFailure::kNone, {}};
}

// Reads at `offset` without moving a shared file position, at most 1 GiB at a time (a DWORD
// counts the bytes).
std::optional<std::size_t> ReadOnlyFile::read_once_at(std::intptr_t handle, char* buffer,
                                                      std::size_t size, std::uint64_t offset,
                                                      std::string* error) {
    constexpr std::size_t kChunk = 1u << 30;
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (::ReadFile(as_handle(handle), buffer, static_cast<DWORD>(std::min(kChunk, size)), &got,
                   &position) == 0) {
        const DWORD code = ::GetLastError();
        // Reading at the end is no error, as a file that shrank since it was opened ends early.
        if (code == ERROR_HANDLE_EOF) {
            return 0;
        }
        *error = SystemErrorText(code);
        return std::nullopt;
    }
    return got;
}

namespace {

// Whether the process `id` has surely ended. A process we may not look at counts as running.
bool has_ended(DWORD id) {
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) {
        return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no process has this id
    }
    DWORD exit_code = 0;
    const bool ended = ::GetExitCodeProcess(process, &exit_code) != 0 && exit_code != STILL_ACTIVE;
    ::CloseHandle(process);
    return ended;
}

// The calls that a replacement's temporary file (temporary_file.h) makes here.
struct WindowsFiles {
    using Handle = HANDLE;
    using Path = std::wstring;
    static constexpr wchar_t kMark = L'~';
    static constexpr std::wstring_view kSeparators = L"\\/:";

    static HANDLE no_handle() { return INVALID_HANDLE_VALUE; }
    static bool close(HANDLE handle) { return ::CloseHandle(handle) != 0; }
    static void remove(const std::wstring& path) { ::DeleteFileW(path.c_str()); }
    static std::uint32_t process_id() { return ::GetCurrentProcessId(); }

    // A file whose writer still runs is left alone: it may be moved into place any moment. Only
    // plain files are touched.
    static void remove_leftovers(const std::wstring& folder, const std::wstring& name) {
        const std::wstring pattern = folder + kMark + name + L".*.tmp";
        WIN32_FIND_DATAW entry{};
        HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
        if (search == INVALID_HANDLE_VALUE) {
            return;
        }
        do {
            // The pattern also matches short 8.3 spellings; the full name decides.
            const DWORD writer = detail::TemporaryFileWriter(std::wstring_view(entry.cFileName),
                                                             kMark, std::wstring_view(name));
            if (writer == 0 || writer == ::GetCurrentProcessId() ||
                (entry.dwFileAttributes &
                 (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
                !has_ended(writer)) {
                continue;
            }
            ::DeleteFileW((folder + entry.cFileName).c_str());
        } while (::FindNextFileW(search, &entry) != 0);
        ::FindClose(search);
    }

    static HANDLE create_new(const std::wstring& path, bool* taken) {
        HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        const DWORD error = ::GetLastError();
        *taken = handle == INVALID_HANDLE_VALUE &&
                 (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
        return handle;
    }
};
using TemporaryFile = detail::TemporaryFile<WindowsFiles>;

bool write_all(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        constexpr std::size_t kChunk = 1u << 30;
        DWORD done = 0;
        if (::WriteFile(file, data.data(), static_cast<DWORD>(std::min(kChunk, data.size())), &done,
                        nullptr) == 0 ||
            done == 0) {
            return false;
        }
        data.remove_prefix(done);
    }
    return true;
}

// Whether this process may write the existing file: its read-only attribute and its access
// rights both count, not only the folder's.
bool may_write(const std::wstring& path) {
    HANDLE probe = ::CreateFileW(path.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        return false;
    }
    ::CloseHandle(probe);
    return true;
}

}  // namespace

bool ReplaceFileContents(std::string_view path, std::string_view contents) {
    const std::wstring target = AsWide(TextToUtf16(NativePath(path)));
    if (target.empty()) {
        return false;
    }
    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
            !may_write(target)) {
            return false;
        }
    } else if (::GetLastError() != ERROR_FILE_NOT_FOUND) {
        return false;
    }
    std::optional<TemporaryFile> temporary = detail::CreateTemporaryNextTo<WindowsFiles>(target);
    if (!temporary) {
        return false;
    }
    if (!write_all(temporary->handle(), contents) || ::FlushFileBuffers(temporary->handle()) == 0 ||
        !temporary->close()) {
        return false;
    }
    // Replaces the file in one step, and returns only when the move is on the disk.
    if (::MoveFileExW(temporary->path().c_str(), target.c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
        return false;
    }
    temporary->keep();
    return true;
}

}  // namespace platform
