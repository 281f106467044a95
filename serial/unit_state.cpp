#include "serial/unit_state.h"

#include "serial/comm.h"
#include "serial/monitor.h"

namespace winseria {

UnitState::UnitState() : Link(&silentServerLink()) {}

UnitState::~UnitState() = default;

UnitState& unitState() {
  // Never destroyed: a port left open at exit stays as it is, and a worker
  // still running then keeps the record it reads.
  static auto* state = new UnitState;
  return *state;
}

void ResetUnit() {
  auto& u = unitState();
  // The workers read the record until they have ended, so they end first,
  // while it is whole: the monitoring worker, then the port object's.
  u.MonitorThread.reset();
  u.PortObject.reset();
  // A fresh record in the same place (references to it stay good); the old
  // one's signals close with it.
  std::destroy_at(&u);
  std::construct_at(&u);
}

void RecordError(std::string_view text, int32_t code) {
  auto& r = unitState().LastError;
  r.LastErrorText.assign(text);
  r.LastErrorCode = code;
}

void RecordCode(int32_t code) { unitState().LastError.LastErrorCode = code; }

void ClearError() { RecordError({}, 0); }

namespace {

// How often the unit's initialization has run, so only the first run and
// the last finalization act. Not in the record: it pairs the initialization
// at program start with the finalization at exit, and a reset in between
// must not make the finalization think the initialization never ran.
int unitUsers = 0;

// The unit's initialization, before the program's own code runs, and its
// finalization when the program ends. Neither touches the port.
struct UnitInitialization {
  UnitInitialization() {
    if (unitUsers++ != 0) return;
    auto& u = unitState();
    u.Settings = UnitSettings{};
    u.Transfer.WriteWaiting = false;
    u.Transfer.ReadWaiting = false;
  }
  ~UnitInitialization() {
    if (--unitUsers != 0) return;
    auto& text = unitState().LastError.LastErrorText;
    text.clear();
    text.shrink_to_fit();
  }
  UnitInitialization(const UnitInitialization&) = delete;
  UnitInitialization& operator=(const UnitInitialization&) = delete;
} unitInitialization;

}  // namespace
}  // namespace winseria
