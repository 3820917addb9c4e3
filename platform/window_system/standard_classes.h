#pragma once
// Private to the window system: the standard window classes ("#32770", "Edit", "Static",
// "Button", PROGRESS_CLASS), their registration, and the dialog's modal loop, which the message
// box runs too. Interface-thread only, like every window function.

#include <cstdint>
#include <functional>

#include "platform/dialog_template.h"
#include "platform/types.h"

namespace platform::detail {

// Registers the standard window classes the first time it is called; later calls do nothing. Called
// without the lock held.
void EnsureStandardClasses();

// Window procedures of the standard classes (registered by EnsureStandardClasses).
LRESULT DialogClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT EditClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT StaticClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT ButtonClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT ProgressClassProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// DialogBoxIndirectParam on an already parsed template. `on_loop_start`, when set, runs once
// with the dialog window after it has been shown, just before its loop takes the first
// message. Returns -1 when the window cannot be created.
std::intptr_t RunModalDialog(const DialogTemplate& dialog_template, HWND owner, DLGPROC proc,
                             LPARAM init_param, const std::function<void(HWND)>& on_loop_start);

}  // namespace platform::detail
