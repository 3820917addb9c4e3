#pragma once
// Runtime errors of the window layer and the process-wide hook that reports them.
//
// RaiseRuntimeError(error) hands the error to the installed handler and returns the handler's
// answer. With no handler installed it throws RuntimeErrorException carrying the error, so an
// error is never lost. The handler is installed once at start-up by the error-handling code; the
// hook itself is safe to call from any thread, but the window layer raises only on the interface
// thread.
//
// The window layer raises three errors, each with GENCODE 0, OSCODE 0, SEVERITY 3, SUBSYSTEM
// kWindowLayerSubsystem, CANDEFAULT false and an empty FILENAME:
//   "Cannot create Dialog Box" (SUBCODE 1): the platform could not create a dialog window;
//   "Duplicated Id" (SUBCODE 2): a second control with an identifier already registered;
//   "Non defined Id" (SUBCODE 3): a control whose identifier names no child window.
// After the handler returns, the failing operation gives up (see the callers' contracts).

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>

namespace kadro {

struct RuntimeError {
    int GENCODE = 0;
    std::optional<int> SUBCODE;
    int OSCODE = 0;
    int SEVERITY = 2;
    std::optional<std::string> SUBSYSTEM;
    std::optional<std::string> DESCRIPTION;
    std::string OPERATION;
    std::string FILENAME;
    bool CANDEFAULT = false;
};

// What a handler answers: nothing, a logical (false lets a defaultable operation fail quietly)
// or a number that replaces the result of an operation allowing substitution.
using RuntimeErrorResult = std::variant<std::monostate, bool, double>;
using RuntimeErrorHandler = std::function<RuntimeErrorResult(const RuntimeError&)>;

class RuntimeErrorException : public std::runtime_error {
  public:
    explicit RuntimeErrorException(RuntimeError error);
    const RuntimeError& error() const { return m_error; }

  private:
    RuntimeError m_error;
};

// Installs the handler (an empty function removes it) and returns the previous one.
RuntimeErrorHandler SetRuntimeErrorHandler(RuntimeErrorHandler handler);
RuntimeErrorResult RaiseRuntimeError(const RuntimeError& error);

// The name under which the window layer's errors give their subsystem.
inline constexpr const char* kWindowLayerSubsystem = "KADROWIN";

enum class WindowLayerError { CannotCreateDialogBox = 1, DuplicatedId = 2, NonDefinedId = 3 };

// Builds one of the window layer's errors with the given operation text.
RuntimeError MakeWindowLayerError(WindowLayerError which, std::string operation);

// "No: " followed by the identifier right-aligned in 6 columns, as the identifier errors give it.
std::string IdOperationText(int id);

}  // namespace kadro
