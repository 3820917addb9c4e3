// The progress bar window class of the window system. Drawing is the display's job.

#include "platform/progress_control.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/window.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/state.h"

namespace platform {
namespace {

struct Bar {
    int low = 0;
    int high = 100;
    int pos = 0;
};

struct Bars {
    std::mutex mutex;
    std::map<HWND, Bar> bars;
};

Bars& bars() {
    static Bars instance;
    return instance;
}

int clamped(int pos, const Bar& bar) {
    return std::clamp(pos, std::min(bar.low, bar.high), bar.high);
}

}  // namespace

bool EnsureProgressControlClass() {
    detail::EnsureStandardClasses();
    return IsClassRegistered(PROGRESS_CLASS);
}

namespace detail {

LRESULT ProgressClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    switch (msg) {
        case WM_CREATE: {
            std::lock_guard lock(bars().mutex);
            bars().bars[hwnd] = Bar{};
            return 0;
        }
        case WM_DESTROY: {
            std::lock_guard lock(bars().mutex);
            bars().bars.erase(hwnd);
            return 0;
        }
        case PBM_SETRANGE32: {
            LRESULT previous = 0;
            {
                std::lock_guard lock(bars().mutex);
                Bar& bar = bars().bars[hwnd];
                previous = static_cast<LRESULT>(
                    MAKELONG(static_cast<WORD>(bar.low), static_cast<WORD>(bar.high)));
                bar.low = static_cast<int>(static_cast<std::intptr_t>(wparam));
                bar.high = static_cast<int>(lparam);
                bar.pos = clamped(bar.pos, bar);
            }
            InvalidateRect(hwnd, false);
            return previous;
        }
        case PBM_SETPOS: {
            int previous = 0;
            {
                std::lock_guard lock(bars().mutex);
                Bar& bar = bars().bars[hwnd];
                previous = bar.pos;
                bar.pos = clamped(static_cast<int>(static_cast<std::intptr_t>(wparam)), bar);
            }
            InvalidateRect(hwnd, false);
            return previous;
        }
        case PBM_GETPOS: {
            std::lock_guard lock(bars().mutex);
            return bars().bars[hwnd].pos;
        }
        case PBM_GETRANGE: {
            std::lock_guard lock(bars().mutex);
            const Bar& bar = bars().bars[hwnd];
            return wparam != 0 ? bar.low : bar.high;
        }
        default:
            return DefWindowProc(hwnd, msg, wparam, lparam);
    }
}

}  // namespace detail
}  // namespace platform
