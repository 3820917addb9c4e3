// kadro.exe is a desktop program: started from a console or a script with its output
// redirected, --help, --version and the note about ignored arguments must reach that output,
// and any other start must run the program as before. Each run starts kadro.exe (beside the
// build's tests) in an empty folder with standard output and error going to files.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

// After our headers, which use names that <windows.h> defines as macros.
#include <windows.h>

namespace kadro::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
    bool ended = false;  // false: still running when the wait was over (then ended by the test)
    DWORD exit_code = 0;
    std::string out;
    std::string err;
};

fs::path kadro_program() {
    std::wstring self(MAX_PATH, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    // build/tests/app/executable/win32/<this>.exe -> build/kadro.exe
    fs::path build = fs::path(self).parent_path();
    for (int up = 0; up < 4; ++up) {
        build = build.parent_path();
    }
    return build / L"kadro.exe";
}

class KadroCommandLine : public ::testing::Test {
  protected:
    void SetUp() override {
        // Tests run at the same time in other processes: each takes a folder no one else has.
        const std::wstring base = fs::temp_directory_path() /
                                  (L"kadro-cl-" + std::to_wstring(::GetCurrentProcessId()) + L"-");
        for (unsigned n = ::GetTickCount(); m_dir.empty(); ++n) {
            const fs::path candidate = base + std::to_wstring(n);
            if (::CreateDirectoryW(candidate.c_str(), nullptr) != 0) {
                m_dir = candidate;
            }
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // Runs kadro.exe with `arguments`, waiting at most `wait_ms` for it to end, or with
    // Until::kErrorLine only until a whole line has reached standard error.
    enum class Until { kEnd, kErrorLine };
    Outcome run(const std::wstring& arguments, DWORD wait_ms, Until until = Until::kEnd) {
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        // Fresh files for every run: under Wine a handle a child inherited can outlive it a while.
        ++m_runs;
        const fs::path out_path = m_dir / (L"out-" + std::to_wstring(m_runs) + L".txt");
        const fs::path err_path = m_dir / (L"err-" + std::to_wstring(m_runs) + L".txt");
        HANDLE out = ::CreateFileW(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        HANDLE err = ::CreateFileW(err_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(out, INVALID_HANDLE_VALUE);
        EXPECT_NE(err, INVALID_HANDLE_VALUE);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process{};
        const fs::path program = kadro_program();
        std::wstring command = L"\"" + program.wstring() + L"\"";
        if (!arguments.empty()) {
            command += L" " + arguments;
        }
        Outcome outcome;
        const BOOL started = ::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr,
                                              TRUE, 0, nullptr, m_dir.c_str(), &startup, &process);
        ::CloseHandle(out);
        ::CloseHandle(err);
        EXPECT_NE(started, 0) << program.string() << ": error " << ::GetLastError();
        if (started == 0) {
            return outcome;
        }
        for (DWORD waited = 0; waited < wait_ms && !outcome.ended; waited += 100) {
            outcome.ended = ::WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0;
            if (until == Until::kErrorLine && slurp(err_path).ends_with('\n')) {
                // A program that went on to run is still running a little later.
                wait_ms = std::min(wait_ms, waited + 2000);
                until = Until::kEnd;
            }
        }
        if (!outcome.ended) {
            ::TerminateProcess(process.hProcess, 255);
            ::WaitForSingleObject(process.hProcess, INFINITE);
        }
        ::GetExitCodeProcess(process.hProcess, &outcome.exit_code);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
        outcome.out = slurp(out_path);
        outcome.err = slurp(err_path);
        return outcome;
    }

    static std::string slurp(const fs::path& name) {
        std::ifstream in(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
    int m_runs = 0;
};

TEST_F(KadroCommandLine, HelpAndVersionReachTheRedirectedOutputAndEndAtOnce) {
    Outcome help = run(L"--help", 30000);
    ASSERT_TRUE(help.ended);
    EXPECT_EQ(help.exit_code, 0u);
    EXPECT_EQ(help.err, "");
    for (const char* topic : {"usage: kadro", "KADRO.INI", "[Impostazioni]", "Porta=COM1", "COM12",
                              "57600", "\"T\"", "Exit status"}) {
        EXPECT_NE(help.out.find(topic), std::string::npos) << "missing: " << topic;
    }
    EXPECT_EQ(help.out.find("/dev/"), std::string::npos) << "Linux device names";
    // --help wins wherever it stands.
    EXPECT_EQ(run(L"--version extra --help", 30000).out, help.out);

    Outcome version = run(L"--version", 30000);
    ASSERT_TRUE(version.ended);
    EXPECT_EQ(version.exit_code, 0u);
    EXPECT_EQ(version.out, std::string("kadro ") + KADRO_EXPECTED_VERSION + "\n");
    EXPECT_EQ(version.err, "");
    // Nothing ran: no settings file was written.
    EXPECT_FALSE(fs::exists(m_dir / L"KADRO.INI"));
}

TEST_F(KadroCommandLine, AnotherArgumentIsNotedOnOneLineAndTheProgramRunsAsWithoutIt) {
    // Without arguments the program shows its chooser and waits there; it writes nothing.
    Outcome plain = run(L"", 3000);
    EXPECT_FALSE(plain.ended) << "exit code " << plain.exit_code;
    EXPECT_EQ(plain.out, "");
    EXPECT_EQ(plain.err, "");

    Outcome noted = run(L"-x caff\u00E8", 30000, Until::kErrorLine);
    EXPECT_FALSE(noted.ended) << "exit code " << noted.exit_code;
    EXPECT_EQ(noted.out, "");
    EXPECT_EQ(noted.err,
              "kadro: arguments ignored: -x caff\xC3\xA8 (kadro takes no arguments besides --help, "
              "--version and --list-ports)\n");
}

}  // namespace
}  // namespace kadro::test
