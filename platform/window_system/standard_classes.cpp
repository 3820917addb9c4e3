#include <mutex>

#include "platform/window.h"
#include "platform/window_system/standard_classes.h"
#include "platform/window_system/state.h"

namespace platform::detail {

void EnsureStandardClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterClass("#32770", DialogClassProc);
        RegisterClass("Edit", EditClassProc);
        RegisterClass("Static", StaticClassProc);
        RegisterClass("Button", ButtonClassProc);
        RegisterClass(PROGRESS_CLASS, ProgressClassProc);
    });
}

}  // namespace platform::detail
