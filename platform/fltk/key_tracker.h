#pragma once
// Which physical keys count as held down for the program, kept from the X server's key
// transitions so that asking costs nothing.
//
// The rule: a press counts when it began while a window of the program had the keyboard (the
// press reached one of its windows), or, for Escape alone, when no window of the program is on
// the screen (the operator has no window left to focus; the program may still be serving). A
// counted key stays down until its physical release, wherever the keyboard has gone meanwhile:
// a window leaving the screen under a held key does not release it. A key pressed into another
// program while a window of the program is on the screen does not count.
//
// Keys are told by their X key code (one physical key) and the virtual-key code it stands for;
// several key codes may stand for one virtual key (both Shift keys), which is down while any of
// them is. Every change of a virtual key's state is reported through the callback, at once and
// on the calling thread. Not thread-safe: one thread (the interface thread) feeds it.

#include <array>
#include <functional>
#include <utility>

namespace platform::fltk {

enum class ProgramOnScreen { Yes, No };

class KeyTracker {
  public:
    using Report = std::function<void(int virtual_key, bool down)>;

    explicit KeyTracker(Report report) : m_report(std::move(report)) {}

    // A press that reached one of the program's windows (repeats change nothing).
    void press_in_window(unsigned key_code, int virtual_key);
    // A physical press seen wherever the keyboard is.
    void physical_press(unsigned key_code, int virtual_key, ProgramOnScreen on_screen);
    // A physical release; also for a key whose press did not count.
    void physical_release(unsigned key_code);

    bool any_down() const;
    bool counted(unsigned key_code) const;

  private:
    void count(unsigned key_code, int virtual_key);
    bool virtual_key_down(int virtual_key) const;

    Report m_report;
    std::array<int, 256> m_counted{};  // virtual key a key code counts for, 0 when not counted
};

}  // namespace platform::fltk
