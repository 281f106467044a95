#pragma once
// What the caller of a one-byte transfer and the transfer worker share. The
// signals order every access; only the two waiting flags are read without
// them (by the monitoring worker), hence atomic.
#include <atomic>
#include <cstdint>

#include "platform/win32/win32.h"

namespace winseria {

struct TransferState {
  uint8_t OutByte = 0;
  uint8_t InByte = 0;
  bool TimeoutFlag = false;
  HANDLE WriteRequest = nullptr;  // manual reset, set by the caller
  HANDLE ReadRequest = nullptr;   // manual reset, set by the caller
  HANDLE IdleSignal = nullptr;    // manual reset, signalled while no transfer runs
  HANDLE CancelSignal = nullptr;  // manual reset, set by Disconnect, never reset
  std::atomic<bool> WriteWaiting{false};
  std::atomic<bool> ReadWaiting{false};
  // Set by an engine that could not reset its request or signal its end, or
  // that failed before it reset its request (a fault, no port object): the
  // worker retires rather than run the request again or leave a caller
  // waiting, and a caller waiting for it is released by its end.
  bool SignalsBroken = false;
};

TransferState& transferState();

// Closes the request and idle signals of an earlier connection.
void ReleaseTransferSignals();
void ReleaseCancelSignal();

// The common end of both engines, on every way out: records whether a byte
// moved and signals the caller. Returns the number of bytes moved.
DWORD EndTransfer(DWORD moved);

}  // namespace winseria
