#include "platform/user32/procedure_table.h"

#include "platform/user32/native_bridge.h"

#include <windows.h>

namespace platform::user32 {

ProcedureRecord ProcedureTable::find(HWND__* hwnd) {
    std::lock_guard lock(m_mutex);
    auto found = m_records.find(hwnd);
    return found != m_records.end() ? found->second : ProcedureRecord{};
}

void ProcedureTable::update(HWND__* hwnd, const std::function<void(ProcedureRecord&)>& change) {
    std::lock_guard lock(m_mutex);
    ProcedureRecord& record = m_records[hwnd];
    change(record);
    if (record.window == nullptr && record.dialog == nullptr) {
        m_records.erase(hwnd);
    }
}

void ProcedureTable::forget(HWND__* hwnd) {
    std::lock_guard lock(m_mutex);
    m_records.erase(hwnd);
}

void ProcedureTable::register_class(WORD atom, WNDPROC procedure) {
    std::lock_guard lock(m_mutex);
    m_classes[atom] = procedure;
}

WNDPROC ProcedureTable::bind_to_class(HWND__* hwnd, WORD atom) {
    std::lock_guard lock(m_mutex);
    auto of_class = m_classes.find(atom);
    if (of_class == m_classes.end()) {
        auto found = m_records.find(hwnd);
        return found != m_records.end() ? found->second.window : nullptr;
    }
    WNDPROC& procedure = m_records[hwnd].window;
    if (procedure == nullptr) {
        procedure = of_class->second;
    }
    return procedure;
}

ProcedureTable& Procedures() {
    static ProcedureTable table;
    return table;
}

LRESULT RunProcedure(WNDPROC procedure, HWND__* hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
    const LRESULT answer = procedure(OurHandle(hwnd), msg, wparam, lparam);
    if (msg == WM_NCDESTROY) {
        Procedures().forget(hwnd);
    }
    return NativeColourAnswer(msg, wparam, answer);
}

}  // namespace platform::user32
