#include "tools/remote/link.h"

#include <cstdio>

#include "platform/tcp_line.h"

namespace remote {

namespace {

class SerialLinkOver : public Link {
  public:
    explicit SerialLinkOver(LineHandle line) : m_line(line) {}
    bool write_all(std::string_view bytes) override { return WriteAll(m_line, bytes); }
    std::string read_some(std::size_t count, int timeout_ms) override {
        return ReadSome(m_line, count, timeout_ms);
    }

  private:
    LineHandle m_line;
};

class TcpLink : public Link {
  public:
    explicit TcpLink(platform::TcpLine line) : m_line(std::move(line)) {}

    bool write_all(std::string_view bytes) override {
        platform::WriteResult result =
            m_line.write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (result.written == bytes.size() && result.fault == platform::LineFault::kNone) {
            return true;
        }
        std::fprintf(stderr, "kadro-remote: write failed: %s\n",
                     result.reason.empty() ? "the connection ended" : result.reason.c_str());
        return false;
    }

    std::string read_some(std::size_t count, int timeout_ms) override {
        std::string out;
        std::uint8_t buffer[8192];
        while (out.size() < count) {
            if (m_line.waiting() == 0) {
                auto woken = m_line.wait_for_input_for(timeout_ms);
                if (woken != platform::InputWait::Ready) {
                    break;
                }
            }
            const std::ptrdiff_t n =
                m_line.read(buffer, std::min(sizeof buffer, count - out.size()));
            if (n < 0) {
                break;  // the connection ended
            }
            out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
        }
        return out;
    }

  private:
    platform::TcpLine m_line;
};

}  // namespace

std::unique_ptr<Link> SerialLink(LineHandle line) {
    return line == kNoLine ? nullptr : std::make_unique<SerialLinkOver>(line);
}

std::unique_ptr<Link> OpenTcpLink(const std::string& name) {
    platform::OpenOutcome<platform::TcpLine> opened = platform::TcpLine::open(name);
    if (!opened.ok()) {
        std::fprintf(stderr, "kadro-remote: cannot open %s: %s\n", name.c_str(),
                     opened.reason().c_str());
        return nullptr;
    }
    platform::TcpLine line = opened.take();
    if (line.serves_connections()) {
        std::fprintf(stderr, "kadro-remote: listening on %s\n", line.listening_address().c_str());
        std::fflush(stderr);
        if (!line.await_connection(-1)) {
            std::fprintf(stderr, "kadro-remote: no connection came\n");
            return nullptr;
        }
    }
    return std::make_unique<TcpLink>(std::move(line));
}

}  // namespace remote
