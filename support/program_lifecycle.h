#pragma once
// The start-up and exit procedures of the program, and the quit that ends it from anywhere.
//
// RunStartupProcedures(): INIT$ first, then the procedures added with AddStartupProcedure, in the
// order added. Runs them once per process; later calls do nothing.
// RunExitProcedures(): EXIT$ first, then the procedures added with AddExitProcedure, in the order
// added. Runs them once per process; later calls (also one made from inside an exit procedure,
// for instance by a runtime error that quits) do nothing. An exception leaving a procedure is
// swallowed so that the remaining procedures still run.
//
// QUIT(): ends the program at once through the quit hook. The default hook runs the exit
// procedures, flushes the standard streams and ends the process with exit code 0 without running
// static destructors (the serial reader threads may still be running; the system releases their
// ports with the process). A hook installed with SetQuitHook replaces this, for a caller that
// observes the end instead of living through it. QUIT never returns: when a replacement hook
// returns, QUIT throws Quit, so the code that asked to quit never continues.
//
// All of this is for the interface thread.

#include <functional>

namespace kadro {

void AddStartupProcedure(std::function<void()> procedure);
void AddExitProcedure(std::function<void()> procedure);
void RunStartupProcedures();
void RunExitProcedures();

// Thrown by QUIT when a replacement quit hook returns.
struct Quit {};

using QuitHook = std::function<void()>;
// Installs a quit hook; an empty function restores the default. Returns the previous hook (empty
// for the default).
QuitHook SetQuitHook(QuitHook hook);
[[noreturn]] void QUIT();

// Forgets that the start-up and exit procedures have run and drops the added ones: the next
// RunStartupProcedures and RunExitProcedures run INIT$ and EXIT$ again, as at process start.
void ResetProgramLifecycle();

}  // namespace kadro
