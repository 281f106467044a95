// The real API cannot be made to fail on request: tests that need planned
// failures skip on Windows.
#include "platform/win32_faults.h"

namespace voren::faults {

bool available() { return false; }
void failCall(Call, unsigned long, int, int) {}
void reset() {}
void raiseLineError(unsigned long) {}
void holdCts(bool) {}

}  // namespace voren::faults
