#include "app/module_state.h"

namespace kadro {

MainModuleState& MainModule() {
    static MainModuleState state;
    return state;
}

void ResetMainModule() {
    MainModule() = MainModuleState{};
}

}  // namespace kadro
