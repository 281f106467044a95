#pragma once
// Where the emulation asks the test hook whether a call is to fail.
#include "platform/win32_faults.h"

namespace voren::win32 {

// True when a failure is planned for this call: the last error is then set
// and the caller returns its failure value.
bool injectFault(faults::Call call);

// Line errors raised through the hook reach every open comm device.
void raiseLineErrorOnOpenDevices(unsigned long ceBits);

// True while a test holds CTS off on every open comm device.
bool ctsHeldByTest();

}  // namespace voren::win32
