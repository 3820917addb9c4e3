// kadro and kadro-remote started as processes with --help, --version and arguments they do not
// know. Each runs in an empty folder with no display, so a program that went on to run would
// fail on the display and leave that failure on standard error.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "testing/scratch_folder.h"

extern char** environ;

namespace kadro::test {
namespace {

struct Outcome {
    int exit_code = -1;
    std::string out;
    std::string err;
};

class CommandLine : public ScratchFolder {
  protected:
    // Runs `program` with `args` in the scratch folder, without DISPLAY or WAYLAND_DISPLAY.
    Outcome run(const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> env_strings;
        for (char** e = environ; *e != nullptr; ++e) {
            std::string entry = *e;
            if (entry.rfind("DISPLAY=", 0) != 0 && entry.rfind("WAYLAND_DISPLAY=", 0) != 0) {
                env_strings.push_back(entry);
            }
        }
        std::vector<char*> envp;
        for (auto& entry : env_strings) {
            envp.push_back(entry.data());
        }
        envp.push_back(nullptr);
        std::vector<std::string> argv_strings{program};
        argv_strings.insert(argv_strings.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : argv_strings) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);

        std::string out_path = m_dir + "/.stdout";
        std::string err_path = m_dir + "/.stderr";
        pid_t child = ::fork();
        if (child == 0) {
            int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (out < 0 || err < 0 || ::dup2(out, STDOUT_FILENO) < 0 ||
                ::dup2(err, STDERR_FILENO) < 0) {
                ::_exit(126);
            }
            ::execve(program.c_str(), argv.data(), envp.data());
            ::_exit(127);
        }
        Outcome outcome;
        int status = 0;
        EXPECT_GT(child, 0);
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = slurp(out_path);
        outcome.err = slurp(err_path);
        std::remove(out_path.c_str());
        std::remove(err_path.c_str());
        return outcome;
    }
};

TEST_F(CommandLine, HelpExplainsSettingsPortsProtocolAndExitStatusWithoutAWindow) {
    Outcome help = run(KADRO_PROGRAM, {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_EQ(help.err, "");
    for (const char* topic : {"usage: kadro", "KADRO.INI", "current folder", "[Impostazioni]",
                              "Porta=COM1", "/dev/ttyS0", "/dev/ttyUSB0", "57600", "\"T\"", "0x00",
                              "4608", "\"E\"", "0x09", "Exit status"}) {
        EXPECT_NE(help.out.find(topic), std::string::npos) << "missing: " << topic;
    }
    // --help wins wherever it stands, over --version and over arguments that are ignored.
    EXPECT_EQ(run(KADRO_PROGRAM, {"--version", "extra", "--help"}).out, help.out);
    // Nothing ran: no settings file written, nothing left in the folder.
    EXPECT_EQ(listing(), "");
}

TEST_F(CommandLine, VersionIsTheProjectVersionForBothPrograms) {
    Outcome kadro = run(KADRO_PROGRAM, {"--version"});
    EXPECT_EQ(kadro.exit_code, 0);
    EXPECT_EQ(kadro.out, std::string("kadro ") + KADRO_EXPECTED_VERSION + "\n");
    EXPECT_EQ(kadro.err, "");

    Outcome with_other = run(KADRO_PROGRAM, {"image.vks", "--version"});
    EXPECT_EQ(with_other.exit_code, 0);
    EXPECT_EQ(with_other.out, kadro.out);

    Outcome remote = run(KADRO_REMOTE_PROGRAM, {"--version"});
    EXPECT_EQ(remote.exit_code, 0);
    EXPECT_EQ(remote.out, std::string("kadro-remote ") + KADRO_EXPECTED_VERSION + "\n");
    EXPECT_EQ(remote.err, "");
    // --help of kadro-remote still works and names the new option.
    Outcome remote_help = run(KADRO_REMOTE_PROGRAM, {"--help"});
    EXPECT_EQ(remote_help.exit_code, 0);
    EXPECT_NE(remote_help.out.find("--version"), std::string::npos);
}

TEST_F(CommandLine, OtherArgumentsAreNotedOnOneLineAndTheProgramRunsAsWithoutThem) {
    Outcome plain = run(KADRO_PROGRAM, {});
    // Without a display the program's run ends at the display; that is the run to compare with.
    ASSERT_NE(plain.exit_code, 0);
    ASSERT_NE(plain.err, "");
    EXPECT_EQ(plain.out, "");

    Outcome one = run(KADRO_PROGRAM, {"-v"});
    EXPECT_EQ(one.exit_code, plain.exit_code);
    EXPECT_EQ(one.out, plain.out);
    EXPECT_EQ(one.err,
              "kadro: argument ignored: -v (kadro takes no arguments besides --help, "
              "--version and --list-ports)\n" +
                  plain.err);

    Outcome several = run(KADRO_PROGRAM, {"image.vks", "--port=COM2", "line\nbreak"});
    EXPECT_EQ(several.exit_code, plain.exit_code);
    std::string note = several.err.substr(0, several.err.find('\n') + 1);
    EXPECT_EQ(note,
              "kadro: arguments ignored: image.vks --port=COM2 line?break (kadro takes no "
              "arguments besides --help, --version and --list-ports)\n");
    EXPECT_EQ(several.err.substr(note.size()), plain.err);
    EXPECT_EQ(listing(), "");
}

}  // namespace
}  // namespace kadro::test
