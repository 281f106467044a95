#include "app/update_state.h"

namespace voren {

namespace {
UpdateState state;
}

UpdateState& updateState() { return state; }

void resetUpdateState() { state = UpdateState{}; }

}  // namespace voren
