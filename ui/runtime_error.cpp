#include "ui/runtime_error.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace kadro {
namespace {

struct HandlerSlot {
    std::mutex mutex;
    RuntimeErrorHandler handler;
};

HandlerSlot& slot() {
    static HandlerSlot s;
    return s;
}

std::string describe(const RuntimeError& error) {
    return error.SUBSYSTEM.value_or("???") + ": " + error.DESCRIPTION.value_or("") + " " +
           error.OPERATION;
}

}  // namespace

RuntimeErrorException::RuntimeErrorException(RuntimeError error)
    : std::runtime_error(describe(error)), m_error(std::move(error)) {}

RuntimeErrorHandler SetRuntimeErrorHandler(RuntimeErrorHandler handler) {
    std::lock_guard lock(slot().mutex);
    return std::exchange(slot().handler, std::move(handler));
}

RuntimeErrorResult RaiseRuntimeError(const RuntimeError& error) {
    RuntimeErrorHandler handler;
    {
        std::lock_guard lock(slot().mutex);
        handler = slot().handler;
    }
    // Called without the lock: a handler may show a message box that pumps messages and so
    // re-enters code that raises again.
    if (!handler) {
        throw RuntimeErrorException(error);
    }
    return handler(error);
}

RuntimeError MakeWindowLayerError(WindowLayerError which, std::string operation) {
    RuntimeError error;
    error.SUBCODE = static_cast<int>(which);
    error.SEVERITY = 3;
    error.SUBSYSTEM = kWindowLayerSubsystem;
    switch (which) {
        case WindowLayerError::CannotCreateDialogBox:
            error.DESCRIPTION = "Cannot create Dialog Box";
            break;
        case WindowLayerError::DuplicatedId:
            error.DESCRIPTION = "Duplicated Id";
            break;
        case WindowLayerError::NonDefinedId:
            error.DESCRIPTION = "Non defined Id";
            break;
    }
    error.OPERATION = std::move(operation);
    error.CANDEFAULT = false;
    return error;
}

std::string IdOperationText(int id) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "No: %6d", id);
    return buffer;
}

}  // namespace kadro
