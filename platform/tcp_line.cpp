#include "platform/tcp_line.h"

#include <charconv>

#include "platform/system_error.h"
#include "platform/text.h"

namespace platform {

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kConnectPrefix = "tcp:";
constexpr std::string_view kListenPrefix = "tcp-listen:";

std::string_view without_device_prefix(std::string_view name) {
    if (name.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
        name.remove_prefix(kDevicePrefix.size());
    }
    return name;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::uint16_t> port_number(std::string_view digits) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc{} || end != digits.data() + digits.size() ||
        value > 65535) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

// "HOST:PORT", HOST in brackets when it is an IPv6 address; nullopt when malformed.
std::optional<std::pair<std::string, std::uint16_t>> host_and_port(std::string_view text) {
    std::string_view host;
    std::string_view rest;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || text.substr(close + 1, 1) != ":") {
            return std::nullopt;
        }
        host = text.substr(1, close - 1);
        rest = text.substr(close + 2);
    } else {
        const std::size_t colon = text.find(':');
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        host = text.substr(0, colon);
        rest = text.substr(colon + 1);
    }
    std::optional<std::uint16_t> port = port_number(rest);
    if (host.empty() || !port) {
        return std::nullopt;
    }
    return std::pair(std::string(host), *port);
}

// The deadline of a wait of at most `milliseconds`; none for a negative time.
std::optional<std::chrono::steady_clock::time_point> deadline_after(int milliseconds) {
    if (milliseconds < 0) {
        return std::nullopt;
    }
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
}

}  // namespace

bool IsTcpLineName(std::string_view name) {
    name = without_device_prefix(name);
    return starts_with_ignoring_case(name, kConnectPrefix) ||
           starts_with_ignoring_case(name, kListenPrefix);
}

std::optional<TcpLineName> ParseTcpLineName(std::string_view name) {
    name = without_device_prefix(name);
    if (starts_with_ignoring_case(name, kConnectPrefix)) {
        auto parts = host_and_port(name.substr(kConnectPrefix.size()));
        if (!parts || parts->second == 0) {
            return std::nullopt;
        }
        return TcpLineName{false, std::move(parts->first), parts->second};
    }
    if (!starts_with_ignoring_case(name, kListenPrefix)) {
        return std::nullopt;
    }
    name.remove_prefix(kListenPrefix.size());
    if (std::optional<std::uint16_t> port = port_number(name)) {
        return TcpLineName{true, "127.0.0.1", *port};
    }
    auto parts = host_and_port(name);
    if (!parts) {
        return std::nullopt;
    }
    return TcpLineName{true, std::move(parts->first), parts->second};
}

InputWait TcpLine::wait_for_input(ReadFailure* failure) const {
    return *wait_for_input_for(-1, failure);
}

std::optional<InputWait> TcpLine::wait_for_input_for(int milliseconds, ReadFailure* failure) const {
    return wait(Until::kInput, deadline_after(milliseconds), failure);
}

bool TcpLine::await_connection(int milliseconds) const {
    return wait(Until::kConnection, deadline_after(milliseconds), nullptr) == InputWait::Ready;
}

bool TcpLine::take_next_connection(std::string* reason) {
    if (!m_listens) {
        return true;  // a line that connected has its one connection
    }
    const int error = listen_again();
    if (error != 0 && reason != nullptr) {
        *reason = SystemErrorText(static_cast<std::uint32_t>(error));
    }
    return error == 0;
}

std::optional<std::uint16_t> TcpLine::listening_port() const {
    const std::size_t colon = m_listening_address.rfind(':');
    if (!m_listens || colon == std::string::npos) {
        return std::nullopt;
    }
    return port_number(std::string_view(m_listening_address).substr(colon + 1));
}

}  // namespace platform
