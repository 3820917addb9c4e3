// Windows of the window system over the real Win32 windows.
//
// Our window procedures have the program's signature, not the real one, so every window whose
// messages our procedures handle runs the real procedure ProcedureThunk, which finds our
// procedure for the window and calls it:
//  - a window of a class registered here starts with the class's procedure (found by the
//    class atom at its first message);
//  - a window that SetWindowProc subclasses keeps the real procedure it had before; our side
//    names that one by NativeProcedure, a procedure of ours that calls the window's kept real
//    procedure, so CallWindowProc(previous, ...) and restoring the previous procedure work as
//    with our own procedures.
// A window's record is dropped at WM_NCDESTROY, or when its real procedure is restored.

#include "platform/window.h"

#include <map>

#include "platform/user32/native_bridge.h"
#include "platform/user32/procedure_table.h"

#include <windows.h>

#undef CallWindowProc
#undef CreateWindowEx
#undef DefWindowProc
#undef GetClassName
#undef GetWindowLongPtr
#undef GetWindowText
#undef GetWindowTextLength
#undef RegisterClass
#undef SetWindowLongPtr
#undef SetWindowText

namespace platform {
namespace {

using user32::NativeHandle;
using user32::OurHandle;

HINSTANCE this_module() {
    return GetModuleHandleW(nullptr);
}

LRESULT CALLBACK ProcedureThunk(::HWND hwnd, UINT msg, ::WPARAM wparam, ::LPARAM lparam);

// Our procedure for the window, binding a window of a registered class at its first message.
WNDPROC procedure_of(::HWND hwnd) {
    if (WNDPROC bound = user32::Procedures().find(hwnd).window) {
        return bound;
    }
    return user32::Procedures().bind_to_class(hwnd,
                                              static_cast<WORD>(GetClassWord(hwnd, GCW_ATOM)));
}

LRESULT CALLBACK ProcedureThunk(::HWND hwnd, UINT msg, ::WPARAM wparam, ::LPARAM lparam) {
    if (WNDPROC procedure = procedure_of(hwnd)) {
        return user32::RunProcedure(procedure, hwnd, msg, wparam, lparam);
    }
    return DefWindowProcW(hwnd, msg, wparam, lparam);
}

// Our name for a subclassed window's own real procedure.
LRESULT NativeProcedure(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    auto before =
        reinterpret_cast<::WNDPROC>(user32::Procedures().find(NativeHandle(hwnd)).native_before);
    if (before == nullptr) {
        // Already restored (a handler that gives the procedure back, then passes the message
        // on): the window's procedure is the real one again.
        before = reinterpret_cast<::WNDPROC>(GetWindowLongPtrW(NativeHandle(hwnd), GWLP_WNDPROC));
    }
    if (before == nullptr || before == &ProcedureThunk) {
        return DefWindowProcW(NativeHandle(hwnd), msg, wparam, lparam);
    }
    return CallWindowProcW(before, NativeHandle(hwnd), msg, wparam, lparam);
}

std::map<::HWND, ::PAINTSTRUCT>& open_paints() {
    thread_local std::map<::HWND, ::PAINTSTRUCT> paints;
    return paints;
}

RECT from_native(const ::RECT& r) {
    return RECT{static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right),
                static_cast<int>(r.bottom)};
}

}  // namespace

bool IsClassRegistered(std::string_view class_name) {
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    const std::wstring name = AsWide(TextToUtf16(class_name));
    return GetClassInfoExW(this_module(), name.c_str(), &info) != 0 ||
           GetClassInfoExW(nullptr, name.c_str(), &info) != 0;
}

bool RegisterClass(std::string_view class_name, WNDPROC proc) {
    // The system's own classes ("Edit", "Button", ...) count as taken, as on the other side.
    if (proc == nullptr || class_name.empty() || IsClassRegistered(class_name)) {
        return false;
    }
    const std::wstring name = AsWide(TextToUtf16(class_name));
    WNDCLASSEXW cls{};
    cls.cbSize = sizeof(cls);
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = &ProcedureThunk;
    cls.hInstance = this_module();
    cls.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    cls.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
    cls.lpszClassName = name.c_str();
    const ATOM atom = RegisterClassExW(&cls);
    if (atom == 0) {
        return false;
    }
    user32::Procedures().register_class(atom, proc);
    return true;
}

HWND CreateWindowEx(DWORD ex_style, std::string_view class_name, std::string_view text, DWORD style,
                    int x, int y, int width, int height, HWND parent, int id, LPARAM create_param) {
    user32::EnsureGateReceiver();
    const std::wstring cls = AsWide(TextToUtf16(class_name));
    const std::wstring title = AsWide(TextToUtf16(text));
    // The identifier travels in the menu slot, which only a child has free.
    HMENU menu =
        (style & WS_CHILD) != 0 ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr;
    ::HWND created = CreateWindowExW(ex_style, cls.c_str(), title.c_str(), style, x, y, width,
                                     height, NativeHandle(parent), menu, this_module(),
                                     reinterpret_cast<void*>(create_param));
    return OurHandle(created);
}

bool DestroyWindow(HWND hwnd) {
    return ::DestroyWindow(NativeHandle(hwnd)) != 0;
}

bool IsWindow(HWND hwnd) {
    return hwnd != 0 && ::IsWindow(NativeHandle(hwnd)) != 0;
}

LRESULT DefWindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(NativeHandle(hwnd), msg, wparam, lparam);
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    if (proc == nullptr) {
        return DefWindowProc(hwnd, msg, wparam, lparam);
    }
    return proc(hwnd, msg, wparam, lparam);
}

WNDPROC GetWindowProc(HWND hwnd) {
    if (!IsWindow(hwnd)) {
        return nullptr;
    }
    if (WNDPROC procedure = procedure_of(NativeHandle(hwnd))) {
        return procedure;
    }
    return &NativeProcedure;
}

WNDPROC SetWindowProc(HWND hwnd, WNDPROC proc) {
    if (!IsWindow(hwnd) || proc == nullptr) {
        return nullptr;
    }
    const ::HWND h = NativeHandle(hwnd);
    procedure_of(h);  // binds a window of a registered class that has had no message yet
    const user32::ProcedureRecord record = user32::Procedures().find(h);
    if (record.window == nullptr) {
        if (proc == &NativeProcedure) {
            return &NativeProcedure;  // already its own procedure
        }
        // The real procedure swap sends nothing, so the record can follow it.
        auto before = reinterpret_cast<::WNDPROC>(
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ProcedureThunk)));
        if (before == nullptr) {
            return nullptr;
        }
        user32::Procedures().update(h, [&](user32::ProcedureRecord& r) {
            r.window = proc;
            r.native_before = reinterpret_cast<std::uintptr_t>(before);
        });
        return &NativeProcedure;
    }
    if (proc == &NativeProcedure && record.native_before != 0) {
        user32::Procedures().update(h, [](user32::ProcedureRecord& r) {
            r.window = nullptr;
            r.native_before = 0;
        });
        SetWindowLongPtrW(h, GWLP_WNDPROC, static_cast<LONG_PTR>(record.native_before));
        return record.window;
    }
    user32::Procedures().update(h, [&](user32::ProcedureRecord& r) { r.window = proc; });
    return record.window;
}

LONG_PTR GetWindowLongPtr(HWND hwnd, int index) {
    if (!IsWindow(hwnd)) {
        return 0;
    }
    if (index == GWLP_WNDPROC) {
        return reinterpret_cast<LONG_PTR>(GetWindowProc(hwnd));
    }
    return GetWindowLongPtrW(NativeHandle(hwnd), index);
}

LONG_PTR SetWindowLongPtr(HWND hwnd, int index, LONG_PTR value) {
    if (!IsWindow(hwnd)) {
        return 0;
    }
    if (index == GWLP_WNDPROC) {
        return reinterpret_cast<LONG_PTR>(SetWindowProc(hwnd, reinterpret_cast<WNDPROC>(value)));
    }
    return SetWindowLongPtrW(NativeHandle(hwnd), index, value);
}

std::string GetClassName(HWND hwnd) {
    wchar_t name[257] = {};
    const int length = GetClassNameW(NativeHandle(hwnd), name, 257);
    return length > 0
               ? TextFromUtf16(AsUtf16(std::wstring_view(name, static_cast<std::size_t>(length))))
               : std::string();
}

HWND GetParent(HWND hwnd) {
    return OurHandle(::GetParent(NativeHandle(hwnd)));
}

HWND GetAncestorRoot(HWND hwnd) {
    return OurHandle(GetAncestor(NativeHandle(hwnd), GA_ROOT));
}

std::vector<HWND> GetChildren(HWND hwnd) {
    // Sibling order is z-order, in which the system keeps children in creation order: each new
    // child goes to the bottom.
    std::vector<HWND> children;
    if (!IsWindow(hwnd)) {
        return children;
    }
    for (::HWND child = GetWindow(NativeHandle(hwnd), GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        children.push_back(OurHandle(child));
    }
    return children;
}

HWND GetDlgItem(HWND dialog, int id) {
    return OurHandle(::GetDlgItem(NativeHandle(dialog), id));
}

int GetDlgCtrlID(HWND hwnd) {
    return ::GetDlgCtrlID(NativeHandle(hwnd));
}

bool SetWindowText(HWND hwnd, std::string_view text) {
    const std::wstring wide = AsWide(TextToUtf16(text));
    return SetWindowTextW(NativeHandle(hwnd), wide.c_str()) != 0;
}

std::string GetWindowText(HWND hwnd) {
    const int length = GetWindowTextLengthW(NativeHandle(hwnd));
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(NativeHandle(hwnd), wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return TextFromUtf16(AsUtf16(wide));
}

int GetWindowTextLength(HWND hwnd) {
    return static_cast<int>(GetWindowText(hwnd).size());
}

std::string GetStoredWindowText(HWND hwnd) {
    wchar_t text[1024] = {};
    const int length = InternalGetWindowText(NativeHandle(hwnd), text, 1024);
    return TextFromUtf16(
        AsUtf16(std::wstring_view(text, static_cast<std::size_t>(length > 0 ? length : 0))));
}

bool GetWindowRect(HWND hwnd, RECT* rect) {
    ::RECT r{};
    if (rect == nullptr || ::GetWindowRect(NativeHandle(hwnd), &r) == 0) {
        return false;
    }
    *rect = from_native(r);
    return true;
}

bool GetClientRect(HWND hwnd, RECT* rect) {
    ::RECT r{};
    if (rect == nullptr || ::GetClientRect(NativeHandle(hwnd), &r) == 0) {
        return false;
    }
    *rect = from_native(r);
    return true;
}

bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint) {
    return ::MoveWindow(NativeHandle(hwnd), x, y, width, height, repaint ? TRUE : FALSE) != 0;
}

RECT AdjustWindowRect(RECT client, DWORD style, bool is_child) {
    ::RECT r{client.left, client.top, client.right, client.bottom};
    const DWORD effective = is_child ? (style | WS_CHILD) : style;
    AdjustWindowRectEx(&r, effective, FALSE, 0);
    return from_native(r);
}

bool ClientToScreen(HWND hwnd, POINT* point) {
    ::POINT p{point->x, point->y};
    if (::ClientToScreen(NativeHandle(hwnd), &p) == 0) {
        return false;
    }
    *point = POINT{static_cast<int>(p.x), static_cast<int>(p.y)};
    return true;
}

bool ScreenToClient(HWND hwnd, POINT* point) {
    ::POINT p{point->x, point->y};
    if (::ScreenToClient(NativeHandle(hwnd), &p) == 0) {
        return false;
    }
    *point = POINT{static_cast<int>(p.x), static_cast<int>(p.y)};
    return true;
}

bool ShowWindow(HWND hwnd, int command) {
    return ::ShowWindow(NativeHandle(hwnd), command) != 0;
}

bool IsWindowVisible(HWND hwnd) {
    return ::IsWindowVisible(NativeHandle(hwnd)) != 0;
}

bool EnableWindow(HWND hwnd, bool enable) {
    return ::EnableWindow(NativeHandle(hwnd), enable ? TRUE : FALSE) != 0;
}

bool IsWindowEnabled(HWND hwnd) {
    return ::IsWindowEnabled(NativeHandle(hwnd)) != 0;
}

HWND SetFocus(HWND hwnd) {
    return OurHandle(::SetFocus(NativeHandle(hwnd)));
}

HWND GetFocus() {
    return OurHandle(::GetFocus());
}

HWND SetActiveWindow(HWND hwnd) {
    return OurHandle(::SetActiveWindow(NativeHandle(hwnd)));
}

HWND GetActiveWindow() {
    return OurHandle(::GetActiveWindow());
}

bool InvalidateRect(HWND hwnd, bool erase) {
    return ::InvalidateRect(NativeHandle(hwnd), nullptr, erase ? TRUE : FALSE) != 0;
}

bool ValidateRect(HWND hwnd) {
    return ::ValidateRect(NativeHandle(hwnd), nullptr) != 0;
}

bool NeedsPaint(HWND hwnd) {
    return GetUpdateRect(NativeHandle(hwnd), nullptr, FALSE) != 0;
}

bool UpdateWindow(HWND hwnd) {
    return ::UpdateWindow(NativeHandle(hwnd)) != 0;
}

bool BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
    ::PAINTSTRUCT real{};
    if (::BeginPaint(NativeHandle(hwnd), &real) == nullptr) {
        return false;
    }
    open_paints()[NativeHandle(hwnd)] = real;
    if (ps != nullptr) {
        ps->erase = real.fErase != 0;
        ps->paint = from_native(real.rcPaint);
    }
    return true;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT*) {
    auto& paints = open_paints();
    auto found = paints.find(NativeHandle(hwnd));
    if (found == paints.end()) {
        return false;
    }
    ::EndPaint(NativeHandle(hwnd), &found->second);
    paints.erase(found);
    return true;
}

}  // namespace platform
