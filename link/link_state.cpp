#include "link/link_state.h"

namespace voren {

namespace {
LinkState state;
}

LinkState& linkState() { return state; }

void resetLinkState() { state = LinkState{}; }

}  // namespace voren
