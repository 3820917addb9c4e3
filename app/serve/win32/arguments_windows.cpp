#include <optional>

#include "app/serve/serve_command_line.h"
#include "app/win32/system_command_line.h"
#include "platform/text.h"

namespace kadro::serve {

// The system's own command line, in characters: the narrow argv holds only what the system's
// code page can.
std::vector<std::string> ProgramArguments(int, char**) {
    std::vector<std::string> arguments = SystemCommandLine([](std::u16string_view word) {
        std::optional<std::string> text = platform::NameFromUtf16(word);
        return text ? std::move(*text) : platform::TextFromUtf16(word);
    });
    if (!arguments.empty()) {
        arguments.erase(arguments.begin());  // the program's name
    }
    return arguments;
}

}  // namespace kadro::serve
