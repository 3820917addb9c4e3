#include "comm/serial_port.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "comm/open_failure.h"
#include "platform/line.h"
#include "platform/message_queue.h"
#include "platform/serial_settings.h"

namespace kadro {

namespace {

constexpr std::int16_t kRingSize = 2048;
constexpr std::size_t kMaxPerCycle = 1023;
constexpr std::size_t kMaxTransfer = 32767;

constexpr std::int16_t next_position(std::int16_t position) {
    return position == kRingSize - 1 ? 0 : static_cast<std::int16_t>(position + 1);
}

// One open port: its line, receive ring and reader thread.
//
// The ring has one writer per position: the reader thread alone moves the write position and
// the interface thread alone the read position. Each side publishes its position with release
// after touching the slots, and reads the other's with acquire, so a slot is never read before
// it is filled nor refilled before it was read.
class CommPortContext {
  public:
    CommPortContext(PortHandle handle, std::unique_ptr<platform::Line> line)
        : m_handle(handle), m_line(std::move(line)) {}
    ~CommPortContext() { stop(); }
    CommPortContext(const CommPortContext&) = delete;
    CommPortContext& operator=(const CommPortContext&) = delete;

    // Throws std::system_error when the thread cannot be created.
    void start() {
        m_reader = std::thread([this] { reader_loop(); });
    }

    void stop() {
        m_stop.store(true, std::memory_order_release);
        m_gate.close();
        if (m_line) {
            m_line->cancel();
        }
        m_room_signal.fetch_add(1, std::memory_order_release);
        m_room_signal.notify_all();
        if (m_reader.joinable()) {
            m_reader.join();
        }
    }

    void set_window(platform::HWND hwnd) {
        m_window.store(hwnd);
        // Bytes stored while nobody listened are announced to the window now, not with the next
        // byte, which may never come: a reader thread waiting for room in a full ring, or for
        // the device after a fault, waits for this signal; one waiting for the line is
        // interrupted. (A window registering again from its handler finds nothing unannounced.)
        if (hwnd != 0) {
            m_room_signal.fetch_add(1, std::memory_order_release);
            m_room_signal.notify_all();
            if (m_unannounced.load()) {
                m_line->interrupt();
            }
        }
    }

    std::int16_t read_into(std::string& buffer) {
        const std::size_t limit = std::min(buffer.size(), kMaxTransfer);
        std::int16_t read = m_read_pos.load(std::memory_order_relaxed);
        std::int16_t write = m_write_pos.load(std::memory_order_acquire);
        std::size_t count = 0;
        while (count < limit) {
            if (read == write) {
                // Bytes the reader thread publishes during the copy are taken too.
                write = m_write_pos.load(std::memory_order_acquire);
                if (read == write) {
                    break;
                }
            }
            buffer[count++] = static_cast<char>(m_ring[static_cast<std::size_t>(read)]);
            read = next_position(read);
        }
        if (count > 0) {
            m_read_pos.store(read, std::memory_order_release);
            m_room_signal.fetch_add(1, std::memory_order_release);
            m_room_signal.notify_one();
        }
        return static_cast<std::int16_t>(count);
    }

    platform::Line& line() { return *m_line; }

    // Once stopped: hands the line over to the context that serves the next session.
    std::unique_ptr<platform::Line> release_line() {
        stop();
        return std::move(m_line);
    }

    platform::HWND window() const { return m_window.load(std::memory_order_acquire); }

    // The first fault recorded stays; later ones add nothing.
    void record_fault(CommLineFault fault) {
        std::lock_guard lock(m_fault_mutex);
        if (!m_fault) {
            m_fault = std::move(fault);
        }
    }

    std::optional<CommLineFault> fault() const {
        std::lock_guard lock(m_fault_mutex);
        return m_fault;
    }

    CommRingPositions positions() const {
        return {m_write_pos.load(std::memory_order_acquire),
                m_read_pos.load(std::memory_order_acquire)};
    }

  private:
    void reader_loop() {
        std::array<std::uint8_t, kMaxPerCycle + 1> staging{};
        while (!m_stop.load(std::memory_order_acquire)) {
            platform::ReadFailure failure{platform::LineFault::kHungUp, {}};
            platform::InputWait event = m_line->wait_for_input(&failure);
            if (event == platform::InputWait::Cancelled) {
                return;
            }
            if (event == platform::InputWait::Interrupted) {
                if (m_unannounced.load() && unread() > 0) {
                    notify();
                    announce_tail();
                }
                continue;
            }
            std::ptrdiff_t got = -1;
            if (event == platform::InputWait::Ready) {
                // A read takes what is there without waiting: asking how much first would cost
                // every command a system call more before it is announced.
                got = m_line->read(staging.data(), kMaxPerCycle, &failure);
            }
            if (got < 0) {
                // The device has failed for good: polling it again would return at once,
                // forever. Record why, in the system's own words, tell the window, then sleep
                // until CLOSECOMM.
                record_fault({failure.fault, std::move(failure.reason)});
                announce_fault_until_stopped();
                return;
            }
            if (got == 0) {
                // Woken with nothing to read; a short pause keeps an odd driver from making
                // this a busy loop.
                if (m_line->wait_for_cancel_for(10)) {
                    return;
                }
                continue;
            }
            if (!deliver(staging.data(), static_cast<std::size_t>(got))) {
                return;
            }
            announce_tail();
        }
    }

    // Stores the bytes, announcing each part that fits; false when stopped meanwhile.
    bool deliver(const std::uint8_t* data, std::size_t count) {
        std::size_t done = 0;
        while (true) {
            done += store(data + done, count - done);
            notify();
            if (done == count) {
                return !m_stop.load(std::memory_order_acquire);
            }
            if (!wait_for_room()) {
                return false;
            }
        }
    }

    std::size_t store(const std::uint8_t* data, std::size_t count) {
        std::int16_t write = m_write_pos.load(std::memory_order_relaxed);
        std::int16_t read = m_read_pos.load(std::memory_order_acquire);
        std::size_t unread = static_cast<std::size_t>((write - read + kRingSize) % kRingSize);
        std::size_t take = std::min(count, static_cast<std::size_t>(kRingSize - 1) - unread);
        for (std::size_t i = 0; i < take; ++i) {
            m_ring[static_cast<std::size_t>(write)] = data[i];
            write = next_position(write);
        }
        m_write_pos.store(write, std::memory_order_release);
        return take;
    }

    // When the line has gone quiet, notifies again while the window takes part of the ring and
    // leaves the rest: a window that reads less per notification than a burst left in the ring
    // would otherwise leave its last bytes (a command after a burst of noise) unannounced
    // until some later byte arrives.
    void announce_tail() {
        std::size_t before = unread();
        while (before > 0 && !m_stop.load(std::memory_order_acquire) && m_line->waiting() == 0) {
            notify();
            const std::size_t left = unread();
            if (left >= before) {
                return;  // the window takes nothing now: the next arrival announces the rest
            }
            before = left;
        }
    }

    std::size_t unread() const {
        std::int16_t write = m_write_pos.load(std::memory_order_acquire);
        std::int16_t read = m_read_pos.load(std::memory_order_acquire);
        return static_cast<std::size_t>((write - read + kRingSize) % kRingSize);
    }

    bool has_room() const {
        std::int16_t write = m_write_pos.load(std::memory_order_relaxed);
        std::int16_t read = m_read_pos.load(std::memory_order_acquire);
        return next_position(write) != read;
    }

    bool wait_for_room() {
        while (true) {
            std::uint32_t seen = m_room_signal.load(std::memory_order_acquire);
            if (m_stop.load(std::memory_order_acquire)) {
                return false;
            }
            if (has_room() || (m_unannounced.load() && window() != 0)) {
                return true;
            }
            m_room_signal.wait(seen, std::memory_order_acquire);
        }
    }

    // One notification to each window that registers from now on (the handler's off-and-on
    // again registers the same window, which is not told twice), until the port closes.
    void announce_fault_until_stopped() {
        platform::HWND told = 0;
        while (true) {
            std::uint32_t seen = m_room_signal.load(std::memory_order_acquire);
            if (m_stop.load(std::memory_order_acquire)) {
                return;
            }
            platform::HWND window = m_window.load(std::memory_order_acquire);
            if (window != 0 && window != told) {
                told = window;
                m_gate.send(window, platform::WM_COMMNOTIFY,
                            static_cast<platform::WPARAM>(m_handle), 1);
                continue;
            }
            m_room_signal.wait(seen, std::memory_order_acquire);
        }
    }

    void notify() {
        platform::HWND window = m_window.load();
        if (window == 0) {
            m_unannounced.store(true);
            // A window registering meanwhile may have looked at the flag before it was raised.
            window = m_window.load();
            if (window == 0) {
                return;
            }
        }
        m_unannounced.store(false);
        if (!m_stop.load(std::memory_order_acquire)) {
            m_gate.send(window, platform::WM_COMMNOTIFY, static_cast<platform::WPARAM>(m_handle),
                        1);
        }
    }

    const PortHandle m_handle;
    std::unique_ptr<platform::Line> m_line;
    std::array<std::uint8_t, kRingSize> m_ring{};
    std::atomic<std::int16_t> m_write_pos{0};
    std::atomic<std::int16_t> m_read_pos{0};
    std::atomic<platform::HWND> m_window{0};
    // Raised by the reader thread when the ring holds bytes it told no window of, lowered when
    // it tells one. Sequentially consistent with m_window, so that a window registering while
    // the reader thread finds none is seen by one side or the other.
    std::atomic<bool> m_unannounced{false};
    std::atomic<bool> m_stop{false};
    // Bumped whenever READCOMM frees room, a window registers or the port closes; the reader
    // thread waits on it while the ring is full and after the device has failed.
    std::atomic<std::uint32_t> m_room_signal{0};
    mutable std::mutex m_fault_mutex;
    std::optional<CommLineFault> m_fault;
    platform::SendGate m_gate;
    std::thread m_reader;
};

// The module state of this layer: open ports by handle. Never destroyed, so that a port left
// open at exit is not torn down after the window system it notifies.
struct PortTable {
    std::mutex mutex;
    std::map<PortHandle, std::shared_ptr<CommPortContext>> ports;
    PortHandle next = 1;
};

PortTable& table() {
    static auto* instance = new PortTable;
    return *instance;
}

std::shared_ptr<CommPortContext> find_port(PortHandle handle) {
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    auto it = t.ports.find(handle);
    return it == t.ports.end() ? nullptr : it->second;
}

PortHandle allocate_handle(PortTable& t) {
    while (t.ports.contains(t.next)) {
        t.next = t.next == INT32_MAX ? 1 : t.next + 1;
    }
    PortHandle handle = t.next;
    t.next = t.next == INT32_MAX ? 1 : t.next + 1;
    return handle;
}

}  // namespace

PortHandle OPENCOMM(std::string_view cName, std::int64_t nInQueue, std::int64_t nOutQueue) {
    platform::LineOpenResult opened = platform::OpenLine(cName);
    SetCommOpenFailure(opened.ok() ? std::nullopt : std::optional(opened.failure().detail));
    if (!opened.ok()) {
        return -1;
    }
    std::unique_ptr<platform::Line> line = opened.take();
    line->recommend_queue_sizes(static_cast<std::uint16_t>(nInQueue & 0xFFFF),
                                static_cast<std::uint16_t>(nOutQueue & 0xFFFF));
    line->raise_dtr();  // pseudo-terminals, some adapters and TCP have no DTR line

    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    PortHandle handle = allocate_handle(t);
    auto context = std::make_shared<CommPortContext>(handle, std::move(line));
    try {
        context->start();
    } catch (const std::system_error& error) {
        SetCommOpenFailure(platform::SerialOpenFailure{
            platform::SerialOpenProblem::kOther,
            static_cast<std::uint32_t>(error.code().value()),
            std::string(cName.starts_with("\\\\.\\") ? cName.substr(4) : cName),
            {},
            {}});
        return -1;  // the context, and with it the line, goes away here
    }
    t.ports.emplace(handle, std::move(context));
    return handle;
}

bool ReadyCommForNextSession(PortHandle nPortHandle) {
    std::shared_ptr<CommPortContext> port = find_port(nPortHandle);
    if (port == nullptr) {
        return false;
    }
    if (!port->line().serves_connections()) {
        return !port->fault();
    }
    // The session's connection, its unread bytes and its fault end with it: a fresh context
    // under the same handle serves the next connection, for the same window.
    const platform::HWND window = port->window();
    std::unique_ptr<platform::Line> line = port->release_line();
    std::string reason;
    const bool listening = line->take_next_connection(&reason);
    auto next = std::make_shared<CommPortContext>(nPortHandle, std::move(line));
    next->set_window(window);
    if (!listening) {
        next->record_fault({platform::LineFault::kFailed, std::move(reason)});
    }
    try {
        next->start();
    } catch (const std::system_error& error) {
        next->record_fault({platform::LineFault::kFailed, error.what()});
    }
    PortTable& t = table();
    std::lock_guard lock(t.mutex);
    t.ports[nPortHandle] = next;
    return listening && !next->fault();
}

bool ENABLECOMMNOTIFICATION(PortHandle nPortHandle, platform::HWND hWnd, std::int64_t,
                            std::int64_t) {
    if (auto port = find_port(nPortHandle)) {
        port->set_window(hWnd);
    }
    return true;
}

bool CLOSECOMM(PortHandle nPortHandle) {
    std::shared_ptr<CommPortContext> port;
    {
        PortTable& t = table();
        std::lock_guard lock(t.mutex);
        auto it = t.ports.find(nPortHandle);
        if (it == t.ports.end()) {
            return true;
        }
        port = std::move(it->second);
        t.ports.erase(it);
    }
    port->stop();
    return true;
}

bool BUILDCOMMDCB(std::string_view cMode, std::string& cDcb) {
    auto dcb = platform::BuildDcbFromMode(cMode);
    cDcb = dcb ? platform::DcbToBytes(*dcb) : std::string();
    return dcb.has_value();
}

bool SETCOMMSTATE(PortHandle nPortHandle, std::string_view cDcb) {
    auto port = find_port(nPortHandle);
    auto dcb = platform::DcbFromBytes(cDcb);
    return port != nullptr && dcb.has_value() && port->line().apply(*dcb);
}

std::int16_t READCOMM(PortHandle nPortHandle, std::string& cBuffer) {
    auto port = find_port(nPortHandle);
    return port != nullptr ? port->read_into(cBuffer) : 0;
}

std::int16_t WRITECOMM(PortHandle nPortHandle, std::string_view cData) {
    auto port = find_port(nPortHandle);
    if (port == nullptr) {
        return 0;
    }
    std::size_t size = std::min(cData.size(), kMaxTransfer);
    platform::WriteResult result =
        port->line().write(reinterpret_cast<const std::uint8_t*>(cData.data()), size);
    if (result.fault != platform::LineFault::kNone) {
        port->record_fault({result.fault, std::move(result.reason)});
    }
    return static_cast<std::int16_t>(result.written);
}

std::optional<CommQueueSizes> GetCommQueueSizes(PortHandle nPortHandle) {
    auto port = find_port(nPortHandle);
    if (port == nullptr) {
        return std::nullopt;
    }
    return CommQueueSizes{port->line().recommended_input_queue(),
                          port->line().recommended_output_queue()};
}

bool SetCommStallLimit(PortHandle nPortHandle, std::chrono::milliseconds limit) {
    auto port = find_port(nPortHandle);
    if (port == nullptr) {
        return false;
    }
    port->line().set_stall_limit(limit);
    return true;
}

std::optional<CommLineFault> GetCommLineFault(PortHandle nPortHandle) {
    auto port = find_port(nPortHandle);
    if (port == nullptr) {
        return std::nullopt;
    }
    return port->fault();
}

std::optional<std::uint16_t> GetCommListenPort(PortHandle nPortHandle) {
    auto port = find_port(nPortHandle);
    return port != nullptr ? port->line().listening_port() : std::nullopt;
}

std::optional<CommRingPositions> GetCommRingPositions(PortHandle nPortHandle) {
    auto port = find_port(nPortHandle);
    if (port == nullptr) {
        return std::nullopt;
    }
    return port->positions();
}

}  // namespace kadro
