#include "platform/line.h"

#include <cstdio>
#include <filesystem>

#include "platform/process.h"
#include "platform/serial_device.h"
#include "platform/system_error.h"
#include "platform/tcp_line.h"

namespace platform {

LineOpenResult OpenLine(std::string_view name) {
    if (IsTcpLineName(name)) {
        OpenOutcome<TcpLine> opened = TcpLine::open(name);
        if (!opened.ok()) {
            return LineOpenResult(
                OpenError{opened.error(),
                          opened.reason(),
                          {SerialOpenProblem::kOther,
                           static_cast<std::uint32_t>(opened.error()),
                           std::string(name.starts_with("\\\\.\\") ? name.substr(4) : name),
                           {},
                           opened.reason()}});
        }
        TcpLine line = opened.take();
        if (line.serves_connections()) {
            // The operator (or a script, for port 0) needs to know where to point the emulator.
            // Named after the program that listens (kadro, kadro-serve), as its other messages are.
            std::string program = std::filesystem::path(GetModuleFileName()).stem().string();
            std::fprintf(stderr, "%s: listening on %s for the remote machine\n",
                         program.empty() ? "kadro" : program.c_str(),
                         line.listening_address().c_str());
            std::fflush(stderr);
        }
        return LineOpenResult(std::make_unique<TcpLine>(std::move(line)));
    }
    SerialDevice::OpenResult opened = SerialDevice::open(name);
    if (!opened.ok()) {
        return LineOpenResult(
            OpenError{opened.error(), SystemErrorText(opened.error()), opened.failure()});
    }
    return LineOpenResult(std::make_unique<SerialDevice>(opened.take()));
}

}  // namespace platform
