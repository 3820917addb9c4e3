#include "platform/console/console_display.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/console/terminal.h"
#include "platform/message_box.h"
#include "platform/message_queue.h"
#include "platform/text.h"
#include "platform/window.h"

namespace platform::console {
namespace {

using Clock = std::chrono::steady_clock;

// The status line changes at most this often, and is drawn again this often while nothing
// happens (its clock moves on).
constexpr std::chrono::milliseconds kStatusInterval{100};
constexpr std::chrono::milliseconds kRestingRedraw{1000};
// A loop that polls again and again reads the keyboard at most this often; a wait reads it at
// once.
constexpr std::chrono::milliseconds kKeyPollInterval{20};

std::function<std::string()>& status_source() {
    static std::function<std::string()> source;
    return source;
}

class ConsoleDisplay;
ConsoleDisplay* g_console = nullptr;

bool has_button(const MessageBoxContent& content, int id) {
    return std::find(content.buttons.begin(), content.buttons.end(), id) != content.buttons.end();
}

// The answer of an operator who wants nothing done: Cancel, else No, else the default.
int quiet_answer(const MessageBoxContent& content) {
    for (int id : {IDCANCEL, IDNO}) {
        if (has_button(content, id)) {
            return id;
        }
    }
    return content.default_button;
}

bool is_message_box(HWND hwnd) {
    MessageBoxContent content;
    return GetMessageBoxContent(hwnd, &content);
}

class ConsoleDisplay final : public Display {
  public:
    explicit ConsoleDisplay(std::string program_name)
        : m_prefix(std::move(program_name) + ": "), m_ui_thread(std::this_thread::get_id()) {
        g_console = this;
    }
    ~ConsoleDisplay() override {
        flush_log();
        finish();
        g_console = nullptr;
    }
    ConsoleDisplay(const ConsoleDisplay&) = delete;
    ConsoleDisplay& operator=(const ConsoleDisplay&) = delete;

    void window_changed(HWND hwnd) override {
        if (!on_ui_thread()) {
            return;
        }
        if (hwnd == m_log || (m_log == 0 && EqualsIgnoringCase(GetClassName(hwnd), "Edit"))) {
            m_log = hwnd;
            m_log_changed = true;
        }
    }

    void window_hidden(HWND) override {
        if (on_ui_thread()) {
            flush_log();
        }
    }

    void window_destroyed(HWND hwnd) override {
        if (on_ui_thread() && hwnd == m_log) {
            flush_log();
            m_log = 0;
            m_printed.clear();
        }
    }

    bool boxes_reach_standard_error() const override { return true; }

    void message_box_shown(HWND box) override {
        MessageBoxContent content;
        if (!on_ui_thread() || !GetMessageBoxContent(box, &content)) {
            return;
        }
        flush_log();
        clear_status();
        std::string lines;
        for (std::string_view rest = content.text; !rest.empty();) {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            std::string_view line = rest.substr(0, end);
            if (line.ends_with('\r')) {
                line.remove_suffix(1);
            }
            if (!IsBlank(line)) {
                lines += m_prefix + std::string(line) + "\n";
            }
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
        m_terminal.write_err(lines);
        PostMessage(box, WM_COMMAND, static_cast<WPARAM>(quiet_answer(content)), 0);
    }

    void poll() override {
        if (!on_ui_thread()) {
            return;
        }
        const auto now = Clock::now();
        if (now - m_last_key_read >= kKeyPollInterval) {
            m_last_key_read = now;
            m_terminal.read_keys();
        }
        press_escape_when_stopped();
    }

    void paint(PaintTime) override {
        if (!on_ui_thread()) {
            return;
        }
        flush_log();
        draw_status();
    }

    bool wait(std::chrono::milliseconds timeout) override {
        if (!on_ui_thread()) {
            return false;
        }
        if (status_active()) {
            const auto redraw = m_status_pending ? kStatusInterval : kRestingRedraw;
            const auto due = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_last_draw + redraw - Clock::now());
            timeout = std::clamp(due, std::chrono::milliseconds(0), timeout);
        }
        m_terminal.wait(timeout);
        m_last_key_read = Clock::now();
        press_escape_when_stopped();
        return true;
    }

    void wake() override {
        // The interface thread is not waiting while it runs.
        if (!on_ui_thread()) {
            m_terminal.wake();
        }
    }

    std::optional<bool> key_down(int virtual_key) const override {
        if (virtual_key == VK_ESCAPE && m_terminal.stop_requested()) {
            return true;
        }
        return std::nullopt;
    }

    // Clears the status line and gives the terminal back.
    void finish() {
        clear_status();
        m_terminal.restore();
    }

  private:
    bool on_ui_thread() const { return std::this_thread::get_id() == m_ui_thread; }

    // A stop holds Escape down; the window that has the focus also gets its key message (which
    // ends the program's dialog), once a window other than a message box has it.
    void press_escape_when_stopped() {
        if (m_escape_pressed || !m_terminal.stop_requested()) {
            return;
        }
        const HWND focus = GetFocus();
        if (focus == 0 || is_message_box(GetAncestorRoot(focus))) {
            return;
        }
        m_escape_pressed = true;
        InjectKeyDown(VK_ESCAPE, 0x1b, KeyStateChange::Apply);
    }

    // Writes the lines added to the log since the last call, each as one line.
    void flush_log() {
        if (!m_log_changed || m_log == 0) {
            return;
        }
        m_log_changed = false;
        const std::string text = GetWindowText(m_log);
        std::string_view added = text;
        if (text.starts_with(m_printed)) {
            added.remove_prefix(m_printed.size());
        } else {
            m_printed.clear();  // the log was replaced: it starts again
        }
        const std::size_t end = added.rfind("\r\n");
        if (end == std::string_view::npos) {
            return;
        }
        added = added.substr(0, end + 2);
        m_printed.append(added);
        std::string lines;
        lines.reserve(added.size());
        for (char c : added) {
            if (c != '\r') {
                lines += c;
            }
        }
        clear_status();
        m_terminal.write_out(lines);
    }

    bool status_active() const {
        return m_terminal.output_is_terminal() && static_cast<bool>(status_source());
    }

    void draw_status() {
        if (!status_active()) {
            return;
        }
        const auto now = Clock::now();
        if (now - m_last_draw < kStatusInterval) {
            m_status_pending = true;
            return;
        }
        m_status_pending = false;
        m_last_draw = now;
        std::string text = status_source()();
        // One column short of the width, so that the terminal never wraps the line.
        const auto width = static_cast<std::size_t>(std::max(1, m_terminal.output_columns() - 1));
        if (text.size() > width) {
            text.resize(width);
        }
        if (m_status_visible && text == m_status_text) {
            return;
        }
        std::string line(1, '\r');
        line += text;
        if (m_status_text.size() > text.size()) {
            line.append(m_status_text.size() - text.size(), ' ');
        }
        m_terminal.write_out(line);
        m_status_text = std::move(text);
        m_status_visible = true;
    }

    void clear_status() {
        if (!m_status_visible) {
            return;
        }
        // Appended, not "\r" + std::string(...): that draws a false -Wrestrict from GCC 12.
        std::string blank(1, '\r');
        blank.append(m_status_text.size(), ' ');
        blank += '\r';
        m_terminal.write_out(blank);
        m_status_text.clear();
        m_status_visible = false;
    }

    std::string m_prefix;
    std::thread::id m_ui_thread;
    Terminal m_terminal;
    HWND m_log = 0;
    bool m_log_changed = false;
    std::string m_printed;  // the log's lines written so far, CR LF and all
    bool m_escape_pressed = false;
    Clock::time_point m_last_key_read{};
    Clock::time_point m_last_draw{};
    bool m_status_visible = false;
    bool m_status_pending = false;
    std::string m_status_text;
};

}  // namespace

std::unique_ptr<Display> CreateConsoleDisplay(std::string program_name) {
    return std::make_unique<ConsoleDisplay>(std::move(program_name));
}

void SetStatusSource(std::function<std::string()> source) {
    status_source() = std::move(source);
}

void RestoreConsole() {
    if (g_console != nullptr) {
        g_console->finish();
    }
}

}  // namespace platform::console
