// Dialogs over the real dialog manager: the same in-memory template bytes go to
// DialogBoxIndirectParamW / CreateDialogIndirectParamW, whose layout they already have (the
// template layout is the same for the narrow and the wide calls: strings in it are UTF-16).
//
// Our dialog procedures have the program's signature, so the real dialog procedure is
// DialogThunk, which calls ours. A dialog window is bound to our procedure by the first
// message the thunk receives for a window it does not know while that dialog is being made,
// and unbound at WM_NCDESTROY.

#include "platform/dialog.h"

#include <cstring>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/user32/native_bridge.h"
#include "platform/user32/procedure_table.h"

#include <windows.h>

#undef CreateDialogIndirectParam
#undef DialogBoxIndirectParam
#undef IsDialogMessage

namespace platform {
namespace {

using user32::NativeHandle;
using user32::OurHandle;

// A dialog being made on this thread: its procedure until its window is bound, then the
// window. Nested (a dialog made while another one initialises), so a stack.
struct Creation {
    DLGPROC procedure = nullptr;
    ::HWND window = nullptr;
};

std::vector<Creation>& creations() {
    thread_local std::vector<Creation> stack;
    return stack;
}

// Our procedure for the dialog, binding the dialog being made to the first window it sees.
DLGPROC procedure_for(::HWND hwnd) {
    if (DLGPROC bound = user32::Procedures().find(hwnd).dialog) {
        return bound;
    }
    auto& stack = creations();
    if (stack.empty() || stack.back().window != nullptr || stack.back().procedure == nullptr) {
        return nullptr;
    }
    stack.back().window = hwnd;
    const DLGPROC procedure = stack.back().procedure;
    user32::Procedures().update(
        hwnd, [procedure](user32::ProcedureRecord& record) { record.dialog = procedure; });
    return procedure;
}

void unbind(::HWND hwnd) {
    user32::Procedures().update(hwnd,
                                [](user32::ProcedureRecord& record) { record.dialog = nullptr; });
}

INT_PTR CALLBACK DialogThunk(::HWND hwnd, UINT msg, ::WPARAM wparam, ::LPARAM lparam) {
    if (DLGPROC procedure = procedure_for(hwnd)) {
        return user32::RunProcedure(procedure, hwnd, msg, wparam, lparam);
    }
    return FALSE;
}

// The template in memory the dialog manager can read: DWORD-aligned, and checked first, so
// that malformed bytes are refused here instead of being read past their end by the system.
bool aligned_template(std::string_view bytes, std::vector<DWORD>* block) {
    if (!ParseDialogTemplate(bytes)) {
        return false;
    }
    block->assign((bytes.size() + sizeof(DWORD) - 1) / sizeof(DWORD) + 1, 0);
    std::memcpy(block->data(), bytes.data(), bytes.size());
    return true;
}

// Keeps a creation on the stack for the duration of one dialog call.
class CreationScope {
  public:
    explicit CreationScope(DLGPROC procedure) { creations().push_back({procedure, nullptr}); }
    ~CreationScope() {
        const ::HWND window = creations().back().window;
        creations().pop_back();
        // A window that never got to WM_NCDESTROY through the thunk leaves no stale binding.
        if (window != nullptr && !::IsWindow(window)) {
            unbind(window);
        }
    }
    CreationScope(const CreationScope&) = delete;
    CreationScope& operator=(const CreationScope&) = delete;
};

}  // namespace

std::intptr_t DialogBoxIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                                     LPARAM init_param) {
    std::vector<DWORD> block;
    if (proc == nullptr || !aligned_template(template_bytes, &block)) {
        return -1;
    }
    user32::EnsureGateReceiver();
    CreationScope scope(proc);
    return DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                                   reinterpret_cast<const DLGTEMPLATE*>(block.data()),
                                   NativeHandle(owner), &DialogThunk, init_param);
}

HWND CreateDialogIndirectParam(std::string_view template_bytes, HWND owner, DLGPROC proc,
                               LPARAM init_param) {
    std::vector<DWORD> block;
    if (proc == nullptr || !aligned_template(template_bytes, &block)) {
        return 0;
    }
    user32::EnsureGateReceiver();
    CreationScope scope(proc);
    return OurHandle(CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                                reinterpret_cast<const DLGTEMPLATE*>(block.data()),
                                                NativeHandle(owner), &DialogThunk, init_param));
}

bool EndDialog(HWND dialog, std::intptr_t result) {
    return ::EndDialog(NativeHandle(dialog), result) != 0;
}

bool IsDialogMessage(HWND dialog, MSG* msg) {
    if (msg == nullptr) {
        return false;
    }
    ::MSG real{};
    user32::ToNativeMessage(*msg, &real);
    return IsDialogMessageW(NativeHandle(dialog), &real) != 0;
}

long GetDialogBaseUnits() {
    return static_cast<long>(::GetDialogBaseUnits());
}

RECT DialogUnitsToPixels(RECT dialog_units) {
    const long units = GetDialogBaseUnits();
    const int bx = static_cast<int>(units & 0xFFFF);
    const int by = static_cast<int>((units >> 16) & 0xFFFF);
    return RECT{MulDiv(dialog_units.left, bx, 4), MulDiv(dialog_units.top, by, 8),
                MulDiv(dialog_units.right, bx, 4), MulDiv(dialog_units.bottom, by, 8)};
}

HWND GetNextDlgTabItem(HWND dialog, HWND control, bool previous) {
    return OurHandle(
        ::GetNextDlgTabItem(NativeHandle(dialog), NativeHandle(control), previous ? TRUE : FALSE));
}

}  // namespace platform
