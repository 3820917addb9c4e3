// The message of a port that will not open, for each reason, from the program run in a child (as
// another user, or seeing a made-up /sys); standard error says the same. A long list fits.

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "app/port_open_message.h"
#include "platform/message_box_layout.h"
#include "platform/serial_port_list.h"
#include "platform/text.h"
#include "support/message_popup.h"
#include "testing/unprivileged_child.h"
#include "tests/app/program_fixture.h"

namespace kadro::test {
namespace {

constexpr int kNotRun = 120;

class PortOpenFailure : public ProgramTest {
  protected:
    struct Case {
        std::string port;    // Porta=
        std::string device;  // the device the message names
        std::string reason;  // words of the reason and the advice
        std::string sys;     // a made-up /sys for the child; empty: the machine's
        bool unprivileged = false;
    };

    // Runs the program in a child; checks its one message box and standard error.
    void expect_told(const Case& c) {
        use_image(std::string(100, 'x'));
        write_settings(c.port);
        const std::string box = m_dir + "/box";
        const std::string err = m_dir + "/err";
        ASSERT_TRUE(GiveToUnprivilegedUser({m_dir, m_dir + "/KADRO.INI", m_dir + "/image.vks"}));
        auto body = [&] {
            if (!c.sys.empty() && !MountOverSys(c.sys)) {
                return kNotRun;
            }
            ::dup2(::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDERR_FILENO);
            RunProgram();
            spit(box, m_script->shown.empty() ? "" : m_script->shown[0].text);
            return m_script->shown.size() == 1 && !m_display->main_window_shown ? 0 : 1;
        };
        const int status = c.unprivileged ? RunUnprivileged(body) : RunInChild(body);
        if (status == kNotRun) {
            GTEST_SKIP() << "no mount namespace (needs root or user namespaces, one thread)";
        }
        ASSERT_EQ(status, 0);
        const std::string text = slurp(box);
        EXPECT_TRUE(text.starts_with("Errore di apertura della porta di comunicazione (" + c.port +
                                     ").\r\n\r\nDispositivo provato: " + c.device + "\r\n"))
            << text;
        EXPECT_NE(text.find(c.reason), std::string::npos) << text;
        EXPECT_NE(text.find("\r\n" + m_dir + "/KADRO.INI\r\n"), std::string::npos) << text;
        const auto ports =
            c.sys.empty() ? platform::ListSerialPorts() : std::vector<platform::SerialPortEntry>{};
        EXPECT_NE(
            text.find(ports.empty() ? "\r\nNessuna porta seriale trovata."
                                    : "\r\nPorte seriali presenti:\r\n    " + ports.front().name),
            std::string::npos)
            << text;
        std::string terminal = platform::AnsiToUtf8(text) + "\n";
        std::erase(terminal, '\r');
        EXPECT_EQ(slurp(err), terminal);
    }

    std::string link_to(const std::string& target) const {
        const std::string link = m_dir + "/usb-FTDI_FT232R_USB_UART_A12345-if00-port0";
        EXPECT_EQ(::symlink(target.c_str(), link.c_str()), 0);
        return link;
    }

    PtyPair m_line;
};

TEST_F(PortOpenFailure, AnUnpluggedAdapterIsMissing) {
    const std::string port = link_to(m_dir + "/ttyUSB0");
    expect_told({port, port, "Il dispositivo non esiste"});
}

TEST_F(PortOpenFailure, APortHeldByAnotherOpenerIsInUseWhateverNameReachedIt) {
    const PortHandle holder = OPENCOMM(m_line.path());
    ASSERT_GE(holder, 0);
    expect_told({link_to(m_line.path()), m_line.path(),
                 "\xE8 in uso da un altro programma (o da un'altra copia di KADRO)"});
    CLOSECOMM(holder);
}

TEST_F(PortOpenFailure, ADeviceTheUserMayNotOpenNamesItsGroupAndHowToJoinIt) {
    if (const group* dialout = ::getgrnam("dialout"); dialout != nullptr && ::geteuid() == 0) {
        ASSERT_EQ(::chown(m_line.path().c_str(), 0, dialout->gr_gid), 0);
    }
    ASSERT_EQ(::chmod(m_line.path().c_str(), 0060), 0);  // only the group, not its owner either
    struct stat node {};
    ASSERT_EQ(::stat(m_line.path().c_str(), &node), 0);
    const std::string group = ::getgrgid(node.st_gid)->gr_name;
    expect_told({m_line.path(), m_line.path(),
                 "appartiene al gruppo " + group +
                     ". Per entrare nel gruppo, dare in un terminale il comando\r\n    sudo "
                     "adduser $USER " +
                     group + "\r\npoi uscire dalla sessione e rientrare.",
                 "", true});
}

TEST_F(PortOpenFailure, ALegacyUartWithoutHardwareIsRefusedBeforeItIsOpened) {
    const std::string tree = m_dir + "/tree";
    struct stat node {};
    ASSERT_EQ(::stat(m_line.path().c_str(), &node), 0);
    const std::string entry = tree + "/sys/dev/char/" + std::to_string(major(node.st_rdev)) + ":" +
                              std::to_string(minor(node.st_rdev));
    std::filesystem::create_directories(entry);
    std::filesystem::create_directories(tree + "/sys/class/tty");
    spit(entry + "/type", "0\n");  // the serial core's "unknown"
    // Opened, it would answer "no permission" to the unprivileged user.
    ASSERT_EQ(::chmod(m_line.path().c_str(), 0), 0);
    expect_told({m_line.path(), m_line.path(), "non vi trova alcun circuito", tree + "/sys", true});
}

TEST(PortOpenMessage, ListsEightPortsAtMostAndStillFitsTheScreen) {
    std::vector<platform::SerialPortEntry> ports(12);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        ports[i].name =
            "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller_D-if0" +
            std::to_string(i) + "-port0";
    }
    const std::string text = PortOpenFailureMessage("COM1", {}, ports, "/home/anna/KADRO.INI");
    EXPECT_EQ(text.find(ports[8].name), std::string::npos);
    EXPECT_TRUE(text.ends_with(";    ... e altre 4 (kadro --list-ports le elenca tutte)"));
    EXPECT_FALSE(platform::LayOutMessageBox(PrepareMessageText(text), {.has_icon = true},
                                            [](std::string_view s) { return 7 * int(s.size()); })
                     .cut);
}

}  // namespace
}  // namespace kadro::test
