#include "app/executable/command_line.h"

namespace kadro {

std::string PortNameHelp() {
    return R"(is the port's Windows name, such as COM1 or COM12 (\\.\COM12 also works);
kadro --list-ports shows the ports this computer has.
)";
}

std::string ExitStatusHelp() {
    return R"(Exit status: 0 when the run ends, also when no image was chosen or the port
could not be opened (a message box says why). A command prompt does not wait
for this desktop program; "start /wait kadro.exe" does.
)";
}

}  // namespace kadro
