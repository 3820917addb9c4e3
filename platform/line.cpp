#include "platform/line.h"

#include <cstdio>

#include "platform/serial_device.h"
#include "platform/system_error.h"
#include "platform/tcp_line.h"

namespace platform {

LineOpenResult OpenLine(std::string_view name) {
    if (IsTcpLineName(name)) {
        OpenOutcome<TcpLine> opened = TcpLine::open(name);
        const std::string shown(name);
        if (!opened.ok()) {
            std::fprintf(stderr, "kadro: cannot open the TCP line %s: %s\n", shown.c_str(),
                         opened.reason().c_str());
            return LineOpenResult(OpenError{opened.error(), opened.reason()});
        }
        TcpLine line = opened.take();
        if (line.serves_connections()) {
            // The operator (or a script, for port 0) needs to know where to point the emulator.
            std::fprintf(stderr, "kadro: listening on %s for the remote machine\n",
                         line.listening_address().c_str());
            std::fflush(stderr);
        }
        return LineOpenResult(std::make_unique<TcpLine>(std::move(line)));
    }
    SerialDevice::OpenResult opened = SerialDevice::open(name);
    if (!opened.ok()) {
        return LineOpenResult(OpenError{opened.error(), SystemErrorText(opened.error())});
    }
    return LineOpenResult(std::make_unique<SerialDevice>(opened.take()));
}

}  // namespace platform
