#include <algorithm>
#include <atomic>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/file_read.h"
#include "platform/paths.h"
#include "platform/system_error_text_windows.h"
#include "platform/wide_text_windows.h"

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
        case ERROR_ACCESS_DENIED: {
            // A folder opened as a file is refused with the same code as a file we may not read.
            DWORD attributes = ::GetFileAttributesW(path.c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES &&
                (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                return OpenFailure::kNotRegularFile;
            }
            return OpenFailure::kAccessDenied;
        }
        default:
            return OpenFailure::kOther;
    }
}

ReadOnlyFileResult failed(OpenFailure failure, std::string reason) {
    return {std::nullopt, failure, std::move(reason)};
}

// What an open handle that is no file on a disk is, in the style of the system's error texts.
std::string kind_of_special_file(DWORD type) {
    switch (type) {
        case FILE_TYPE_CHAR:
            return "Is a character device";
        case FILE_TYPE_PIPE:
            return "Is a pipe";
        default:
            return "Is not a regular file";
    }
}

// Reads at `offset` without moving a shared file position. The count read (0 at the end);
// on an input/output error, the count so far and the system's error code in *error.
DWORD read_chunk_at(HANDLE file, void* buffer, DWORD size, std::uint64_t offset, DWORD* error) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (::ReadFile(file, buffer, size, &got, &position) == 0) {
        const DWORD code = ::GetLastError();
        // Reading at the end is no error, as a file that shrank since it was opened ends early.
        *error = code == ERROR_HANDLE_EOF ? 0 : code;
        return 0;
    }
    return got;
}

}  // namespace

ReadOnlyFileResult ReadOnlyFile::open(std::string_view path) {
    const std::wstring native = ToWide(path);
    HANDLE handle = ::CreateFileW(native.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const OpenFailure failure = failure_from_error(code, native);
        // A folder is refused as "access denied"; say what it is instead, as on other systems.
        return failed(failure, failure == OpenFailure::kNotRegularFile
                                   ? std::string("Is a directory")
                                   : SystemErrorText(code));
    }
    ReadOnlyFile file(reinterpret_cast<std::intptr_t>(handle), 0);
    const DWORD type = ::GetFileType(handle);
    if (type != FILE_TYPE_DISK) {
        return failed(OpenFailure::kNotRegularFile, kind_of_special_file(type));
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle, &size) == 0) {
        return failed(OpenFailure::kOther, SystemErrorText(::GetLastError()));
    }
    file.m_size = size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return {std::move(file), OpenFailure::kNone, {}};
}

ReadOnlyFile::ReadOnlyFile(ReadOnlyFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kNoHandle)), m_size(std::exchange(other.m_size, 0)) {}

ReadOnlyFile& ReadOnlyFile::operator=(ReadOnlyFile&& other) noexcept {
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, kNoHandle);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

ReadOnlyFile::~ReadOnlyFile() {
    close();
}

void ReadOnlyFile::close() noexcept {
    if (m_handle != kNoHandle) {
        ::CloseHandle(as_handle(m_handle));
        m_handle = kNoHandle;
    }
}

std::optional<unsigned char> ReadOnlyFile::read_byte_at(std::uint64_t offset) const {
    FileReadResult read = read_at(offset, 1);
    if (read.data.size() != 1) {
        return std::nullopt;
    }
    return static_cast<unsigned char>(read.data.front());
}

std::string ReadOnlyFile::read_from_start(std::uint64_t count) const {
    return read_at(0, count).data;
}

FileReadResult ReadOnlyFile::read_at(std::uint64_t offset, std::uint64_t count) const {
    FileReadResult result;
    if (m_handle == kNoHandle || offset >= m_size) {
        return result;
    }
    count = std::min(count, m_size - offset);
    if (count > result.data.max_size()) {
        throw std::bad_alloc();
    }
    result.data.resize(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < result.data.size()) {
        constexpr std::size_t kChunk = 1u << 30;
        const DWORD want = static_cast<DWORD>(std::min(kChunk, result.data.size() - done));
        DWORD error = 0;
        const DWORD got = read_chunk_at(as_handle(m_handle), result.data.data() + done, want,
                                        offset + done, &error);
        if (error != 0) {
            result.error = SystemErrorText(error);
            break;
        }
        if (got == 0) {
            break;  // the file has shrunk since it was opened
        }
        done += got;
    }
    result.data.resize(done);
    return result;
}

namespace {

// The temporary file of a replacement: closed always, removed unless it has been moved into
// place.
class TemporaryFile {
  public:
    TemporaryFile(HANDLE handle, std::wstring path) : m_handle(handle), m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        close();
        if (!m_kept) {
            ::DeleteFileW(m_path.c_str());
        }
    }

    HANDLE handle() const { return m_handle; }
    const std::wstring& path() const { return m_path; }
    bool close() {
        if (m_handle == INVALID_HANDLE_VALUE) {
            return true;
        }
        return ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE)) != 0;
    }
    void keep() { m_kept = true; }

  private:
    HANDLE m_handle;
    std::wstring m_path;
    bool m_kept = false;
};

// A temporary file of a replacement is named "~<name>.<process id>.<counter>.tmp" beside the
// file it replaces.
constexpr std::wstring_view kTemporarySuffix = L".tmp";

// The process id in a temporary file name made for `name`, or 0 when the name is not one.
DWORD writer_of(std::wstring_view entry, std::wstring_view name) {
    const std::wstring prefix = L"~" + std::wstring(name) + L".";
    if (!entry.starts_with(prefix) || !entry.ends_with(kTemporarySuffix)) {
        return 0;
    }
    entry.remove_prefix(prefix.size());
    entry.remove_suffix(kTemporarySuffix.size());
    const std::size_t dot = entry.find(L'.');
    const auto all_digits = [](std::wstring_view digits) {
        return !digits.empty() && digits.size() <= 9 &&
               digits.find_first_not_of(L"0123456789") == std::wstring_view::npos;
    };
    if (dot == std::wstring_view::npos || !all_digits(entry.substr(0, dot)) ||
        !all_digits(entry.substr(dot + 1))) {
        return 0;
    }
    return static_cast<DWORD>(std::stoul(std::wstring(entry.substr(0, dot))));
}

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

// Removes the temporary files that replacements of `name` in `folder` left when their process
// died before the move. A file whose writer still runs is left alone: it may be moved into
// place any moment. Only plain files of exactly our naming pattern are touched.
void remove_leftover_temporaries(const std::wstring& folder, const std::wstring& name) {
    const std::wstring pattern = folder + L"~" + name + L".*.tmp";
    WIN32_FIND_DATAW entry{};
    HANDLE search = ::FindFirstFileW(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        // The pattern also matches short 8.3 spellings; the full name decides.
        const DWORD writer = writer_of(entry.cFileName, name);
        if (writer == 0 || writer == ::GetCurrentProcessId() ||
            (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) !=
                0 ||
            !has_ended(writer)) {
            continue;
        }
        ::DeleteFileW((folder + entry.cFileName).c_str());
    } while (::FindNextFileW(search, &entry) != 0);
    ::FindClose(search);
}

std::optional<TemporaryFile> create_temporary_next_to(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of(L"\\/:");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash == std::wstring::npos ? 0 : slash + 1);
    remove_leftover_temporaries(folder, name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path =
            folder + L"~" + name + L"." + std::to_wstring(::GetCurrentProcessId()) + L"." +
            std::to_wstring(counter.fetch_add(1)) + std::wstring(kTemporarySuffix);
        HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            return std::optional<TemporaryFile>(std::in_place, handle, path);
        }
        if (::GetLastError() != ERROR_FILE_EXISTS && ::GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

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
    const std::wstring target = ToWide(NativePath(path));
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
    std::optional<TemporaryFile> temporary = create_temporary_next_to(target);
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
