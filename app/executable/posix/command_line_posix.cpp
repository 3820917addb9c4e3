#include "app/executable/command_line.h"

namespace kadro {

std::string PortNameHelp() {
    return R"(may be written as
    COM1 ... COM256     meaning /dev/ttyS0 ... /dev/ttyS255
    /dev/ttyUSB0        an absolute path, used as it is
    ttyUSB0             a name under /dev
For a USB adapter the name under /dev/serial/by-id/ is best: it stays the
same whichever socket the adapter is in. kadro --list-ports shows the names.
)";
}

std::string ExitStatusHelp() {
    return R"(Exit status: 0 when the run ends, also when no image was chosen or the port
could not be opened (a message box says why); 2 when no display can be
opened for the window.
)";
}

}  // namespace kadro
