#include "serial/transfer_state.h"

namespace winseria {
namespace {

void release(HANDLE& h) {
  if (h != nullptr) CloseHandle(h);
  h = nullptr;
}

}  // namespace

TransferState& transferState() {
  static TransferState state;
  return state;
}

void ReleaseTransferSignals() {
  auto& t = transferState();
  release(t.IdleSignal);
  release(t.WriteRequest);
  release(t.ReadRequest);
}

void ReleaseCancelSignal() { release(transferState().CancelSignal); }

}  // namespace winseria
