#pragma once
// A pseudo-terminal pair for tests: the far end (master) stays with the test, the near end is
// opened by path as a serial device. The test keeps its own near-end descriptor open so that
// the terminal outlives every close of the device under test.

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>

#include "testing/descriptor_io.h"

namespace kadro::test {

class PtyPair {
  public:
    PtyPair() {
        char name[256] = {};
        if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
            throw std::runtime_error("openpty failed");
        }
        m_path = name;
        termios t{};
        ::tcgetattr(m_slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_slave, TCSANOW, &t);
    }
    ~PtyPair() {
        close_master();
        if (m_slave >= 0) {
            ::close(m_slave);
        }
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& path() const { return m_path; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }

    // Hangs the line up, as a pulled adapter would.
    void close_master() {
        if (m_master >= 0) {
            ::close(m_master);
            m_master = -1;
        }
    }

    void send(std::string_view bytes) const {
        SendAll(
            bytes,
            [this](std::string_view rest) { return ::write(m_master, rest.data(), rest.size()); },
            "write to the far end failed");
    }

    // Reads up to `count` bytes from the far end; stops early only when nothing arrives for
    // `idle_ms` (a guard against hanging, not a timing check).
    std::string receive(std::size_t count, int idle_ms = 10000) const {
        return ReceiveUpTo(m_master, count, idle_ms);
    }

  private:
    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};

// Bytes 0..255 repeated: every value, NUL, 0xFF and the flow-control characters included.
inline std::string pattern(std::size_t size, std::size_t offset = 0) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>((i + offset) * 7 % 256);
    }
    return s;
}

}  // namespace kadro::test
