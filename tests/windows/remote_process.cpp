#include "tests/windows/remote_process.h"

#include <fstream>
#include <iterator>

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace kadro::test {

namespace fs = std::filesystem;

namespace {

HANDLE as_handle(std::intptr_t process) {
    return reinterpret_cast<HANDLE>(process);
}

}  // namespace

RemoteProcess::RemoteProcess(const fs::path& folder, const std::wstring& arguments)
    : m_err(folder / L"remote.txt") {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE err = ::CreateFileW(m_err.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = err;
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), MAX_PATH));
    // build/tests/windows/<this>.exe -> build/tools/remote/kadro-remote.exe
    const fs::path program = fs::path(self).parent_path().parent_path().parent_path() / L"tools" /
                             L"remote" / L"kadro-remote.exe";
    std::wstring command = L"\"" + program.wstring() + L"\" " + arguments;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                         folder.c_str(), &startup, &process) != 0) {
        ::CloseHandle(process.hThread);
        m_process = reinterpret_cast<std::intptr_t>(process.hProcess);
    }
    ::CloseHandle(err);
}

RemoteProcess::~RemoteProcess() {
    if (m_process != 0) {
        if (!ended()) {
            ::TerminateProcess(as_handle(m_process), 99);
        }
        ::CloseHandle(as_handle(m_process));
    }
}

bool RemoteProcess::ended() const {
    return m_process == 0 || ::WaitForSingleObject(as_handle(m_process), 0) == WAIT_OBJECT_0;
}

int RemoteProcess::exit_code() const {
    DWORD code = 99;
    if (m_process != 0 && ended()) {
        ::GetExitCodeProcess(as_handle(m_process), &code);
    }
    return static_cast<int>(code);
}

std::string RemoteProcess::said() const {
    std::ifstream in(m_err, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace kadro::test
