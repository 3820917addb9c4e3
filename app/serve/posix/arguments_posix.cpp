#include <optional>

#include "app/serve/serve_command_line.h"
#include "platform/text.h"

namespace kadro::serve {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        std::optional<std::string> text = platform::NameFromUtf8(argv[i]);
        arguments.push_back(text ? std::move(*text) : std::string(argv[i]));
    }
    return arguments;
}

}  // namespace kadro::serve
