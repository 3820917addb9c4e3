#pragma once
// The display driver: what puts the window system on a screen and turns a person's input into
// messages. The window system owns every window's state; a display only draws it and reports
// input. Every method has a headless default, so the window system runs without any display.
//
// Contract: all methods except wake() are called on the interface thread. wake() may be called
// from any thread and must make a pending wait() return soon.
//
// Drawing is the lowest-priority work: the window system reports changes at once, a display
// only notes them, and draws them when paint() is called, which the message queue does when the
// interface thread has nothing else to do (before it sleeps, in a pause) or when changes have
// waited too long in a loop that never rests.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/types.h"

namespace platform {

// What a file chooser is asked to show. Texts are UTF-8.
struct FileChooserRequest {
    enum class Kind { Open, Save };
    Kind kind = Kind::Open;
    HWND owner = 0;
    std::string title;
    std::vector<std::pair<std::string, std::string>> filters;  // description, mask ("*.vks")
    int filter_index = 1;                                      // 1-based
    std::string initial_dir;
    std::string initial_file;
    DWORD flags = 0;  // the OFN_ flags of file_chooser.h
};

// When the message queue asks a display to draw.
enum class PaintTime {
    Idle,  // nothing else is waiting: draw every change
    Busy,  // a retrieval found nothing, but the thread will not rest: draw only changes that
           // have waited longer than a display's patience
};

class Display {
  public:
    virtual ~Display() = default;

    // Rectangle of the primary screen, used for centring. Headless: 1024 x 768.
    virtual RECT screen_rect() const { return {0, 0, 1024, 768}; }
    // Size of one character cell of the default font, for text layout. Headless: 8 x 16.
    virtual SIZE text_cell() const { return {8, 16}; }
    // Pixel width of a byte string in the default font. Headless: cell width per byte.
    virtual int text_width(const std::string& text) const {
        return static_cast<int>(text.size()) * text_cell().cx;
    }

    // Window life and state changes; headless displays ignore them.
    virtual void window_shown(HWND) {}
    virtual void window_hidden(HWND) {}
    virtual void window_changed(HWND) {}
    virtual void window_destroyed(HWND) {}
    // A message box became visible and its modal loop is running: a display that answers boxes
    // itself (posts the box its input) does it from here.
    virtual void message_box_shown(HWND) {}

    // Turns input that has arrived since the last call into window messages, without waiting.
    // A display may skip the work when it looked very recently, so that a loop that calls it
    // again and again does not pay for it on every pass.
    virtual void poll() {}
    // Draws the changes noted since the last call (see PaintTime).
    virtual void paint(PaintTime) {}
    // Waits up to `timeout` for input or for wake(). Returns false when the display has no wait of
    // its own; the window system then waits on its own queue.
    virtual bool wait(std::chrono::milliseconds) { return false; }
    virtual void wake() {}

    // The key's physical state, when the display can read it at no cost; nullopt leaves the
    // answer to the state the window system keeps (a display that follows the keyboard's
    // transitions sets it with SetAsyncKeyState, window_system/window_system.h).
    virtual std::optional<bool> key_down(int /*virtual_key*/) const { return std::nullopt; }

    // True when the display itself writes every message box's text to standard error (a
    // console), so that a caller who copies a message there for a desktop leaves it out.
    // Headless: false.
    virtual bool boxes_reach_standard_error() const { return false; }

    // Sound. Headless: silent.
    virtual void beep(unsigned /*frequency_hz*/, unsigned /*duration_ms*/) {}

    // Shows a modal file chooser. Returns the chosen paths (UTF-8; several only with
    // OFN_ALLOWMULTISELECT), or nullopt on cancel. Headless: nullopt, as if cancelled.
    virtual std::optional<std::vector<std::string>> choose_files(const FileChooserRequest&) {
        return std::nullopt;
    }

    // Clipboard text. Headless: kept by the window system itself (see clipboard.h).
    virtual bool set_clipboard_text(const std::string&) { return false; }
};

// The display in use: the window backend's own (CreateBackendDisplay) until AttachDisplay
// installs another.
Display& CurrentDisplay();
// Installs a display (nullptr goes back to the backend's own). Call on the interface thread
// while no modal loop runs.
void AttachDisplay(std::unique_ptr<Display> display);

// The display a window backend starts with, made by the backend the executable links (see
// platform/CMakeLists.txt): our own window system's is headless, with every default above; on
// Windows the real window system draws and takes input itself, and its display answers the
// screen's rectangle, text measures in the system font and the beep. Never fails.
std::unique_ptr<Display> CreateBackendDisplay();

}  // namespace platform
