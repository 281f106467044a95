#include "serial/byte_transfer.h"

#include <optional>

#include "serial/comm.h"
#include "serial/last_error.h"
#include "serial/port_object.h"
#include "serial/texts.h"
#include "serial/transfer_state.h"
#include "serial/transfer_thread.h"

namespace winseria {
namespace {

void record(std::string_view text) { RecordError(text, static_cast<int32_t>(GetLastError())); }

enum class Direction { Write, Read };

// The transfer worker's thread, looked up once per transfer (a disconnect
// from another thread may release the worker object meanwhile): none
// without a worker object, a null handle for a worker that never started.
std::optional<HANDLE> transferWorker() {
  const TComm* port = portObject();
  if (port == nullptr || !port->TransferThread) return std::nullopt;
  return port->TransferThread->ThreadHandle();
}

// Cancel (0) and idle (1), and while a transfer worker exists, its thread
// (2): a worker that ended, or never started (its null handle fails the
// wait), must not leave the caller waiting for an idle signal nobody will set.
DWORD waitCancelOrIdle(std::optional<HANDLE> worker) {
  auto& t = transferState();
  HANDLE waits[3] = {t.CancelSignal, t.IdleSignal, worker.value_or(nullptr)};
  return WaitForMultipleObjects(worker ? 3 : 2, waits, FALSE, INFINITE);
}

// A cancel, set by a disconnect from another thread, can end the caller's
// wait while the engine still runs; the engine sees it too and ends soon.
// Its record and flag come first, or the two threads would write them at
// once. A worker that ended, or whose handle is gone, ends the wait as well.
void waitForEngineEnd(HANDLE worker) {
  HANDLE waits[2] = {transferState().IdleSignal, worker};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

int32_t transfer(Direction direction, uint8_t value, uint8_t* destination) {
  auto& t = transferState();
  const bool writing = direction == Direction::Write;
  t.TimeoutFlag = false;
  int32_t result = 0;
  const std::optional<HANDLE> worker = transferWorker();
  bool requested = false;

  const DWORD claim = waitCancelOrIdle(worker);
  if (claim == WAIT_OBJECT_0 + 1) {
    if (writing) t.OutByte = value;
    if (!ResetEvent(t.IdleSignal)) {
      record(texts::kBladAnulacjiZdarzenia);
      return 0;
    }
    if (!SetEvent(writing ? t.WriteRequest : t.ReadRequest)) {
      record(texts::kBladSygnalizacjiZdarzenia);
      // Give the claim back, or the next transfer would wait for it forever.
      SetEvent(t.IdleSignal);
      return 0;
    }
    requested = true;
  } else if (claim == WAIT_OBJECT_0) {
    if (writing) {
      record(texts::kZapisPrzerwany);
    } else {
      record(texts::kPrzerwanyZapis);
    }
  } else if (claim == WAIT_FAILED) {
    record(texts::kNiepoprawnyZapis);
  } else if (!writing) {
    record(texts::kBladWaitForMultipleObjects);
  }

  // Runs whatever the claim found: after a cancel or a failed wait it fails
  // the same way and leaves its own text.
  const DWORD done = waitCancelOrIdle(worker);
  if (done == WAIT_OBJECT_0 + 1) {
    result = t.TimeoutFlag ? 0 : 1;
    if (result == 1 && !writing && destination != nullptr) *destination = t.InByte;
  } else {
    if (done == WAIT_OBJECT_0 && requested && worker) waitForEngineEnd(*worker);
    record(texts::kBladWaitForMultipleObjects);
  }

  if (!SetEvent(t.IdleSignal)) {
    if (writing) {
      record(texts::kBladSygnalizacjiZdarzenia);
    } else {
      record(texts::kBladAnulacjiZdarzenia);
    }
    result = 0;
  }
  return result;
}

}  // namespace

int32_t TransferWriteByte(uint8_t value) { return transfer(Direction::Write, value, nullptr); }

int32_t TransferReadByte(uint8_t* destination) { return transfer(Direction::Read, 0, destination); }

}  // namespace winseria
