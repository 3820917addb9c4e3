#include "support/program_lifecycle.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "support/housekeeping.h"

namespace kadro {
namespace {

struct Lifecycle {
    std::vector<std::function<void()>> startup;
    std::vector<std::function<void()>> exit;
    bool started = false;
    bool exited = false;
    QuitHook quit_hook;
};

Lifecycle& lifecycle() {
    static Lifecycle state;
    return state;
}

void RunEach(const std::vector<std::function<void()>>& procedures) {
    for (const auto& procedure : procedures) {
        try {
            procedure();
        } catch (...) {
            // One failing procedure must not keep the others from running.
        }
    }
}

// Runs `first`, then `registered` in order, unless `done` says this already happened.
void RunOnce(bool& done, const std::function<void()>& first,
             const std::vector<std::function<void()>>& registered) {
    if (done) {
        return;
    }
    done = true;
    std::vector<std::function<void()>> procedures{first};
    procedures.insert(procedures.end(), registered.begin(), registered.end());
    RunEach(procedures);
}

}  // namespace

void AddStartupProcedure(std::function<void()> procedure) {
    lifecycle().startup.push_back(std::move(procedure));
}

void AddExitProcedure(std::function<void()> procedure) {
    lifecycle().exit.push_back(std::move(procedure));
}

void RunStartupProcedures() {
    Lifecycle& state = lifecycle();
    RunOnce(state.started, INIT$, state.startup);
}

void RunExitProcedures() {
    Lifecycle& state = lifecycle();
    RunOnce(state.exited, EXIT$, state.exit);
}

QuitHook SetQuitHook(QuitHook hook) {
    QuitHook previous = std::move(lifecycle().quit_hook);
    lifecycle().quit_hook = std::move(hook);
    return previous;
}

void QUIT() {
    // A copy: the hook may replace itself.
    QuitHook hook = lifecycle().quit_hook;
    if (hook) {
        hook();
        throw Quit{};
    }
    RunExitProcedures();
    std::fflush(nullptr);
    std::_Exit(0);
}

void ResetProgramLifecycle() {
    Lifecycle& state = lifecycle();
    state.startup.clear();
    state.exit.clear();
    state.started = false;
    state.exited = false;
}

}  // namespace kadro
