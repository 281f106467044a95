#include "serial/byte_transfer.h"

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

// Cancel (0) and idle (1), and while a transfer worker exists, its thread
// (2): a worker that ended, or never started, must not leave the caller
// waiting for an idle signal nobody will set.
DWORD waitCancelOrIdle() {
  auto& t = transferState();
  HANDLE waits[3] = {t.CancelSignal, t.IdleSignal, nullptr};
  DWORD count = 2;
  const TComm* port = portObject();
  if (port != nullptr && port->TransferThread)
    waits[count++] = port->TransferThread->ThreadHandle();
  return WaitForMultipleObjects(count, waits, FALSE, INFINITE);
}

int32_t transfer(Direction direction, uint8_t value, uint8_t* destination) {
  auto& t = transferState();
  const bool writing = direction == Direction::Write;
  t.TimeoutFlag = false;
  int32_t result = 0;

  const DWORD claim = waitCancelOrIdle();
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
  if (waitCancelOrIdle() == WAIT_OBJECT_0 + 1) {
    result = t.TimeoutFlag ? 0 : 1;
    if (result == 1 && !writing && destination != nullptr) *destination = t.InByte;
  } else {
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
