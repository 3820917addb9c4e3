#pragma once
// A window class for tests that records every message its windows receive, and the calling
// thread's queue handled or emptied without the window layer's pump.

#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "platform/window.h"

namespace kadro::test {

struct Received {
    platform::HWND hwnd;
    platform::UINT message;
    platform::WPARAM wparam;
    platform::LPARAM lparam;
};

// Messages seen by windows of the "KadroTestRecorder" class, in order. Interface thread only.
inline std::vector<Received>& received() {
    static std::vector<Received> log;
    return log;
}

inline platform::LRESULT recorder_proc(platform::HWND hwnd, platform::UINT msg,
                                       platform::WPARAM wparam, platform::LPARAM lparam) {
    if (msg != platform::WM_CREATE) {  // creation is not what these tests look at
        received().push_back({hwnd, msg, wparam, lparam});
    }
    if (msg == platform::WM_COMMNOTIFY) {
        return 77;
    }
    return platform::DefWindowProc(hwnd, msg, wparam, lparam);
}

inline platform::HWND make_recorder(platform::DWORD style = 0, platform::HWND parent = 0) {
    platform::RegisterClass("KadroTestRecorder", recorder_proc);
    return platform::CreateWindowEx(0, "KadroTestRecorder", "", style, 0, 0, 100, 100, parent, 0);
}

inline std::vector<platform::UINT> messages_for(platform::HWND hwnd) {
    std::vector<platform::UINT> out;
    for (const auto& r : received()) {
        if (r.hwnd == hwnd) {
            out.push_back(r.message);
        }
    }
    return out;
}

// Handles every message waiting for the calling thread; messages other threads send run first.
inline void dispatch_waiting() {
    platform::MSG msg;
    while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        platform::TranslateMessage(&msg);
        platform::DispatchMessage(&msg);
    }
}

// Drains the calling thread's queue without handling anything.
inline void drain_queue() {
    platform::MSG msg;
    while (platform::PeekMessage(&msg, 0, 0, 0, platform::PM_REMOVE)) {
        if (msg.message == platform::WM_PAINT) {
            platform::ValidateRect(msg.hwnd);
        }
    }
}

}  // namespace kadro::test
