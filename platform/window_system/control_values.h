#pragma once
// Private to the window system: a value that a control class keeps for each of its windows (a
// button's pressed state, a static control's icon, an edit control's text state), beside the window
// table and under its own lock, so that any thread may read it while the owner thread runs the
// window procedure.
//
// find: the value kept for the window, or a value-initialised one when none is.
// exchange: keeps `value` for the window and returns the value kept before (value-initialised
// when none was).
// erase: forgets the window.
// default_proc: what the class's window procedure does with the messages it does not handle
// itself: WM_DESTROY forgets the window's value, and every message (WM_DESTROY and WM_PAINT
// included) goes on to DefWindowProc.
// None of them fails, except std::bad_alloc from exchange.

#include <map>
#include <mutex>
#include <utility>

#include "platform/types.h"
#include "platform/window.h"

namespace platform::detail {

template <typename Value>
class ControlValues {
  public:
    Value find(HWND hwnd) const {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(hwnd);
        return it == m_values.end() ? Value{} : it->second;
    }

    Value exchange(HWND hwnd, Value value) {
        std::lock_guard lock(m_mutex);
        return std::exchange(m_values[hwnd], std::move(value));
    }

    void erase(HWND hwnd) {
        std::lock_guard lock(m_mutex);
        m_values.erase(hwnd);
    }

    LRESULT default_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
        if (msg == WM_DESTROY) {
            erase(hwnd);
        }
        return DefWindowProc(hwnd, msg, wparam, lparam);
    }

  private:
    mutable std::mutex m_mutex;
    std::map<HWND, Value> m_values;
};

}  // namespace platform::detail
