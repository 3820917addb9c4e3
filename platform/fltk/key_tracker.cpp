#include "platform/fltk/key_tracker.h"

#include <algorithm>

#include "platform/types.h"

namespace platform::fltk {

void KeyTracker::press_in_window(unsigned key_code, int virtual_key) {
    count(key_code, virtual_key);
}

void KeyTracker::physical_press(unsigned key_code, int virtual_key, ProgramOnScreen on_screen) {
    if (on_screen == ProgramOnScreen::No && virtual_key == VK_ESCAPE) {
        count(key_code, virtual_key);
    }
}

void KeyTracker::physical_release(unsigned key_code) {
    if (key_code >= m_counted.size() || m_counted[key_code] == 0) {
        return;
    }
    const int virtual_key = m_counted[key_code];
    m_counted[key_code] = 0;
    if (!virtual_key_down(virtual_key)) {
        m_report(virtual_key, false);
    }
}

bool KeyTracker::any_down() const {
    return std::any_of(m_counted.begin(), m_counted.end(), [](int vk) { return vk != 0; });
}

bool KeyTracker::counted(unsigned key_code) const {
    return key_code < m_counted.size() && m_counted[key_code] != 0;
}

void KeyTracker::count(unsigned key_code, int virtual_key) {
    if (key_code >= m_counted.size() || virtual_key <= 0 || m_counted[key_code] != 0) {
        return;
    }
    const bool was_down = virtual_key_down(virtual_key);
    m_counted[key_code] = virtual_key;
    if (!was_down) {
        m_report(virtual_key, true);
    }
}

bool KeyTracker::virtual_key_down(int virtual_key) const {
    return std::find(m_counted.begin(), m_counted.end(), virtual_key) != m_counted.end();
}

}  // namespace platform::fltk
