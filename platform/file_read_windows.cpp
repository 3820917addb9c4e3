#include <atomic>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_read.h"
#include "platform/paths.h"
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

// Reads at `offset` without moving a shared file position; the count read, 0 at the end or on
// an input/output error.
DWORD read_at(HANDLE file, void* buffer, DWORD size, std::uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (::ReadFile(file, buffer, size, &got, &position) == 0) {
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
        return {std::nullopt, failure_from_error(::GetLastError(), native)};
    }
    ReadOnlyFile file(reinterpret_cast<std::intptr_t>(handle), 0);
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        return {std::nullopt, OpenFailure::kNotRegularFile};
    }
    LARGE_INTEGER size{};
    if (::GetFileSizeEx(handle, &size) == 0) {
        return {std::nullopt, OpenFailure::kOther};
    }
    file.m_size = size.QuadPart > 0 ? static_cast<std::uint64_t>(size.QuadPart) : 0;
    return {std::move(file), OpenFailure::kNone};
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
    if (m_handle == kNoHandle || offset >= m_size) {
        return std::nullopt;
    }
    unsigned char byte = 0;
    if (read_at(as_handle(m_handle), &byte, 1, offset) != 1) {
        return std::nullopt;
    }
    return byte;
}

std::string ReadOnlyFile::read_from_start(std::uint64_t count) const {
    if (m_handle == kNoHandle) {
        return {};
    }
    if (count > m_size) {
        count = m_size;
    }
    std::string data;
    if (count > data.max_size()) {
        throw std::bad_alloc();
    }
    data.resize(static_cast<std::size_t>(count));
    std::size_t done = 0;
    while (done < data.size()) {
        constexpr std::size_t kChunk = 1u << 30;
        DWORD want = static_cast<DWORD>(std::min(kChunk, data.size() - done));
        DWORD got = read_at(as_handle(m_handle), data.data() + done, want, done);
        if (got == 0) {
            break;  // end of file or an input/output error: keep what arrived
        }
        done += got;
    }
    data.resize(done);
    return data;
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

std::optional<TemporaryFile> create_temporary_next_to(const std::wstring& target) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.find_last_of(L"\\/:");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = target.substr(slash == std::wstring::npos ? 0 : slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::wstring path = folder + L"~" + name + L"." +
                                  std::to_wstring(::GetCurrentProcessId()) + L"." +
                                  std::to_wstring(counter.fetch_add(1)) + L".tmp";
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
