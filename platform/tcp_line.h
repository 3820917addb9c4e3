#pragma once
// A TCP connection as the line to the remote machine (platform/line.h): for emulators, and for
// checking a set-up without a cable.
//
// Names (ParseTcpLineName): "tcp:HOST:PORT" connects to HOST, which listens; "tcp-listen:PORT"
// and "tcp-listen:HOST:PORT" listen on HOST, 127.0.0.1 when it is not given, and serve the
// connections that come, one at a time. HOST is a name, an IPv4 address or an IPv6 address in
// brackets ("[::1]"); PORT is 1..65535, or 0 for a listener to let the system choose (then
// listening_address() says which). The prefixes may be written in any case, after an optional
// "\\.\" (which the application puts in front of every port name).
//
// Contract:
// - TcpLine::open(name) connects (giving up after kConnectLimit) or starts listening, and yields
//   an open line or the system's error code and text (name resolution's own text for a host it
//   cannot find; our text for a malformed name). A listener binds where the name says and
//   nowhere else: loopback unless the operator wrote another host.
// - Every connection sends without Nagle's delay, so a one-byte answer leaves at once.
// - A listener serves one connection at a time. Its wait accepts the first connection and from
//   then on no longer listens, so further connections are refused, until take_next_connection()
//   listens again on the same address and port, then closes the one served (in that order, so
//   a peer that reconnects when it sees the close is not refused). Until a connection
//   arrives the line has no input, and bytes written go nowhere: write() reports 0 bytes and no
//   fault.
// - The peer closing the connection, or resetting it, is a hang-up: wait_for_input() reports it
//   once the bytes that came before it have been read; read() and write() report it too, with
//   the system's text for a reset.
// - write() returns once the system has taken every byte (a socket has nothing to drain); a peer
//   that stops reading fills the buffers between, and from then on the stall limit applies. Bytes
//   the system took before a stall stay with it. The recommended queue sizes are the sizes of the
//   buffers of the connections (0: the system's own).
// - apply() accepts any record and changes nothing; raise_dtr() is false.
// - For a program that plays the far end itself (kadro-remote): wait_for_input_for() waits at
//   most a given time, await_connection() until a listener has its connection.
// - interrupt() ends a wait for input, with or without a connection; await_connection() ignores
//   it.
// - Windows: each line keeps Winsock started while it exists. The wait is a one-byte overlapped
//   receive, whose byte waiting() and read() count and return first, as on a serial device.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/line.h"

namespace platform {

struct TcpLineName {
    bool listen = false;
    std::string host;  // without brackets; for a listener never empty (127.0.0.1 by default)
    std::uint16_t port = 0;
};

// Whether `name` names a TCP line at all (its prefix), well formed or not.
bool IsTcpLineName(std::string_view name);
// The parts of a TCP line name; nullopt when it is not one or is malformed.
std::optional<TcpLineName> ParseTcpLineName(std::string_view name);
// What a malformed TCP line name is told with.
inline constexpr std::string_view kTcpLineNameForm =
    "a TCP line is named tcp:HOST:PORT or tcp-listen:[HOST:]PORT";

class TcpLine final : public Line {
  public:
    static constexpr std::chrono::seconds kConnectLimit{10};

    static OpenOutcome<TcpLine> open(std::string_view name);

    TcpLine(TcpLine&& other) noexcept = default;
    TcpLine& operator=(TcpLine&& other) noexcept = default;
    ~TcpLine() override = default;

    InputWait wait_for_input(ReadFailure* failure = nullptr) const override;
    // As wait_for_input(), giving up after `milliseconds` (negative: no limit): nullopt then.
    std::optional<InputWait> wait_for_input_for(int milliseconds,
                                                ReadFailure* failure = nullptr) const;
    // Waits at most `milliseconds` (negative: no limit) until a connection is served; true at
    // once for a line that connected. False on time-out and after cancel().
    bool await_connection(int milliseconds) const;

    std::size_t waiting() const override;
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t size,
                        ReadFailure* failure = nullptr) const override;
    WriteResult write(const std::uint8_t* data, std::size_t size) const override;

    // Also the sizes of the sockets' buffers, so that a peer that stops reading holds back
    // about as much as a serial driver's queue would.
    void recommend_queue_sizes(std::uint16_t input, std::uint16_t output) override;
    bool apply(const DCB&) override { return true; }
    bool raise_dtr() override { return false; }

    bool serves_connections() const override { return m_listens; }
    bool take_next_connection(std::string* reason) override;
    std::optional<std::uint16_t> listening_port() const override;
    // Where a listener listens, in numbers ("127.0.0.1:40123", "[::1]:5000"); "" otherwise.
    const std::string& listening_address() const { return m_listening_address; }

  private:
    // The sockets as each system holds them, defined in that system's tcp_line_<system>.cpp; it
    // closes what it holds when destroyed.
    struct State;
    struct StateDeleter {
        void operator()(State* state) const noexcept;
    };
    // This system's socket calls, defined beside State, and the opening over them that is the
    // same on every system (platform/tcp_line_internal.h).
    struct Sockets;
    template <typename SystemSockets>
    friend OpenOutcome<TcpLine> OpenTcpLine(std::string_view name);
    enum class Until { kInput, kConnection };

    TcpLine(CancelSignalsPointer signals, std::unique_ptr<State, StateDeleter> state, bool listens,
            std::string address)
        : Line(std::move(signals)),
          m_state(std::move(state)),
          m_listens(listens),
          m_listening_address(std::move(address)) {}

    using Deadline = std::optional<std::chrono::steady_clock::time_point>;  // none: no limit

    // Waits for input (or, kConnection, for a connection: then Ready) until `deadline`; nullopt
    // when it passed.
    std::optional<InputWait> wait(Until until, Deadline deadline, ReadFailure* failure) const;
    // A listener's part of take_next_connection(): 0, or the system's error code when it cannot
    // listen again.
    int listen_again();

    std::unique_ptr<State, StateDeleter> m_state;
    bool m_listens = false;
    std::string m_listening_address;
};

}  // namespace platform
