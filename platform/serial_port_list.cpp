#include "platform/serial_port_list.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/serial_port_order_internal.h"

namespace platform {
namespace {

bool is_digit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The run of digits at `at` without its leading zeros; `at` moves past it.
std::string_view number_at(std::string_view text, std::size_t& at) {
    const std::size_t start = at;
    while (at < text.size() && is_digit(text[at])) {
        ++at;
    }
    std::string_view run = text.substr(start, at - start);
    while (run.size() > 1 && run.front() == '0') {
        run.remove_prefix(1);
    }
    return run;
}

bool natural_less(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            const std::string_view x = number_at(a, i);
            const std::string_view y = number_at(b, j);
            if (x != y) {
                return x.size() != y.size() ? x.size() < y.size() : x < y;
            }
        } else if (a[i] != b[j]) {
            return a[i] < b[j];
        } else {
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

}  // namespace

void SortSerialPorts(std::vector<SerialPortEntry>& ports) {
    std::stable_sort(ports.begin(), ports.end(),
                     [](const SerialPortEntry& a, const SerialPortEntry& b) {
                         return natural_less(a.device, b.device);
                     });
}

std::string SerialPortListText(const std::vector<SerialPortEntry>& ports) {
    if (ports.empty()) {
        return "No serial ports found.\n";
    }
    std::string text;
    for (const SerialPortEntry& port : ports) {
        text += port.name;
        if (!port.description.empty()) {
            text += "  " + port.description;
        }
        text += '\n';
    }
    return text;
}

}  // namespace platform
