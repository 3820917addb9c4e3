#pragma once
// kadro-remote.exe (built beside the tests: build/tools/remote/) run by a test, in `folder`,
// with `arguments` and its standard error going to a file there; apart from the tests' window
// code because <windows.h> names clash with the window contract's.
//
// ended(): true once it has ended; exit_code(): its exit status (99 while it runs); said(): what
// it wrote to standard error so far. The destructor ends a process still running.

#include <cstdint>
#include <filesystem>
#include <string>

namespace kadro::test {

class RemoteProcess {
  public:
    RemoteProcess(const std::filesystem::path& folder, const std::wstring& arguments);
    ~RemoteProcess();
    RemoteProcess(const RemoteProcess&) = delete;
    RemoteProcess& operator=(const RemoteProcess&) = delete;

    bool ended() const;
    int exit_code() const;
    std::string said() const;

  private:
    std::filesystem::path m_err;
    std::intptr_t m_process = 0;  // the process's handle; 0 when it could not start
};

}  // namespace kadro::test
