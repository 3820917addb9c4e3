#include <algorithm>
#include <cstdio>

#include "platform/serial_device.h"
#include "platform/serial_settings.h"
#include "platform/system_error.h"
#include "platform/text.h"
#include "tools/remote/line.h"

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace remote {

namespace {

HANDLE as_handle(LineHandle line) {
    return reinterpret_cast<HANDLE>(line);
}

// One overlapped transfer with its own event, waited for at most `timeout_ms` (negative: no
// limit); a transfer still running then is cancelled. The count that moved.
DWORD transfer(HANDLE device, bool write, void* buffer, DWORD size, int timeout_ms) {
    OVERLAPPED request{};
    request.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (request.hEvent == nullptr) {
        return 0;
    }
    BOOL started = write ? ::WriteFile(device, buffer, size, nullptr, &request)
                         : ::ReadFile(device, buffer, size, nullptr, &request);
    DWORD count = 0;
    if (started != 0 || ::GetLastError() == ERROR_IO_PENDING) {
        DWORD limit = timeout_ms < 0 ? INFINITE : static_cast<DWORD>(timeout_ms);
        if (::WaitForSingleObject(request.hEvent, limit) != WAIT_OBJECT_0) {
            ::CancelIoEx(device, &request);
        }
        ::GetOverlappedResult(device, &request, &count, TRUE);
    }
    ::CloseHandle(request.hEvent);
    return count;
}

}  // namespace

LineHandle OpenLine(const std::string& device, const std::string& mode) {
    std::string path = platform::SerialDevicePath(device);
    const std::u16string name = platform::TextToUtf16(path);
    HANDLE handle = ::CreateFileW(std::wstring(name.begin(), name.end()).c_str(),
                                  GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "kadro-remote: cannot open %s: %s\n", path.c_str(),
                     platform::SystemErrorText(::GetLastError()).c_str());
        return kNoLine;
    }
    auto dcb = platform::BuildDcbFromMode(mode);
    // Read time-outs all 0: a read waits for its count; ReadSome asks for one byte at a time
    // while it waits, then for what is queued.
    COMMTIMEOUTS timeouts{};
    if (!dcb || !platform::ApplySerialSettings(reinterpret_cast<LineHandle>(handle), *dcb) ||
        ::SetCommTimeouts(handle, &timeouts) == 0) {
        std::fprintf(stderr, "kadro-remote: cannot set line \"%s\" on %s\n", mode.c_str(),
                     path.c_str());
        ::CloseHandle(handle);
        return kNoLine;
    }
    return reinterpret_cast<LineHandle>(handle);
}

LineHandle AdoptLine(int) {
    std::fprintf(stderr, "kadro-remote: --fd is not available on Windows; use --device COMn\n");
    return kNoLine;
}

bool WriteAll(LineHandle line, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        DWORD done = transfer(as_handle(line), true, const_cast<char*>(bytes.data()), chunk, -1);
        if (done == 0) {
            std::fprintf(stderr, "kadro-remote: write failed: %s\n",
                         platform::SystemErrorText(::GetLastError()).c_str());
            return false;
        }
        bytes.remove_prefix(done);
    }
    return true;
}

std::string ReadSome(LineHandle line, std::size_t count, int timeout_ms) {
    HANDLE device = as_handle(line);
    std::string out;
    while (out.size() < count) {
        char first = 0;
        if (transfer(device, false, &first, 1, timeout_ms) != 1) {
            break;
        }
        out.push_back(first);
        DWORD errors = 0;
        COMSTAT status{};
        if (::ClearCommError(device, &errors, &status) == 0) {
            break;
        }
        DWORD want = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, count - out.size()));
        if (want > 0) {
            std::string more(want, '\0');
            DWORD got = transfer(device, false, more.data(), want, timeout_ms);
            out.append(more, 0, got);
        }
    }
    return out;
}

}  // namespace remote
