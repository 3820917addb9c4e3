#pragma once
// Private to user32/: which of our procedures runs each real window. Our window and dialog
// procedures have the program's signature, not the real one, so the real windows run thunks
// (window_windows.cpp, dialog_windows.cpp) that look their procedure up here:
//  - `window`: the window procedure of a window of a class registered through RegisterClass,
//    or the one SetWindowProc put in; `native_before` is then the real procedure a subclassed
//    window had (0 for a window of our own class);
//  - `dialog`: the dialog procedure of a dialog made through the dialog calls.
// A window may have both (a subclassed dialog). The table forgets a window at WM_NCDESTROY.
//
// Procedures(): the one table. find(hwnd) is the window's record, empty when it has none;
// update(hwnd, change) runs `change` on the record under the table's lock (`change` must not
// call the table) and drops the record once it is empty. register_class(atom, procedure) keeps
// the procedure of a class registered through RegisterClass; bind_to_class(hwnd, atom) gives a
// window without a window procedure its class's (none for a class not registered there) and
// returns the window's procedure, null when it has none. Safe from any thread.
//
// RunProcedure(procedure, hwnd, msg, wparam, lparam): what both thunks do with a message of a
// window that has a procedure of ours: calls it with our handle, forgets the window after its
// last message, and hands the real system an answer it can use (NativeColourAnswer).

#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>

#include "platform/types.h"

struct HWND__;

namespace platform::user32 {

struct ProcedureRecord {
    WNDPROC window = nullptr;
    std::uintptr_t native_before = 0;
    DLGPROC dialog = nullptr;
};

class ProcedureTable {
  public:
    ProcedureRecord find(HWND__* hwnd);
    void update(HWND__* hwnd, const std::function<void(ProcedureRecord&)>& change);
    void forget(HWND__* hwnd);
    void register_class(WORD atom, WNDPROC procedure);
    WNDPROC bind_to_class(HWND__* hwnd, WORD atom);

  private:
    std::mutex m_mutex;
    std::unordered_map<HWND__*, ProcedureRecord> m_records;
    std::unordered_map<WORD, WNDPROC> m_classes;
};

ProcedureTable& Procedures();

LRESULT RunProcedure(WNDPROC procedure, HWND__* hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

}  // namespace platform::user32
