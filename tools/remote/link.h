#pragma once
// The remote machine's end of its link to KADRO: a serial line (tools/remote/line.h) or a TCP
// connection (platform/tcp_line.h), behind the two operations kadro-remote uses.
//
// - SerialLink(line): the link over an open serial line; nullptr for kNoLine.
// - OpenTcpLink(name): "tcp:HOST:PORT" connects to KADRO listening there; "tcp-listen:PORT"
//   listens on 127.0.0.1, tells where on standard error ("kadro-remote: listening on
//   127.0.0.1:PORT", also for port 0, which lets the system choose) and waits without a time
//   limit for KADRO to connect and takes that one connection; the first byte may go out at
//   once. nullptr, with the reason printed to standard error, when it cannot.
// - write_all: every byte or false (reason printed). read_some: up to `count` bytes, giving up
//   when nothing arrives for `timeout_ms` or the link ends; what arrived so far is returned.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "tools/remote/line.h"

namespace remote {

class Link {
  public:
    virtual ~Link() = default;
    virtual bool write_all(std::string_view bytes) = 0;
    virtual std::string read_some(std::size_t count, int timeout_ms) = 0;
};

std::unique_ptr<Link> SerialLink(LineHandle line);
std::unique_ptr<Link> OpenTcpLink(const std::string& name);

}  // namespace remote
