#include "app/module_state.h"

namespace kadro {

MainModuleState& main_module() {
    static MainModuleState state;
    return state;
}

void reset_main_module() {
    main_module() = MainModuleState{};
}

}  // namespace kadro
