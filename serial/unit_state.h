#pragma once
// The unit's state: one record per process, reached through unitState() and
// put back to its start values by ResetUnit alone; a new field here starts
// fresh after a reset without anyone having to remember it. Two things live
// outside it and survive a reset, each saying why where it is: the
// hand-over queue (workers.cpp) and the initialization count, unitUsers
// (unit_state.cpp).
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win32/win32.h"

namespace winseria {

class ServerLink;
class TComm;
class TWatekObslugiKomunikatow;

// A platform event the unit owns: closed when it is replaced and when its
// owner goes, so a reset or a new connection cannot leak an earlier one.
class Signal {
 public:
  Signal() = default;
  explicit Signal(HANDLE handle) : handle_(handle) {}
  Signal(Signal&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
  Signal& operator=(Signal&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = other.handle_;
      other.handle_ = nullptr;
    }
    return *this;
  }
  ~Signal() { Close(); }

  operator HANDLE() const { return handle_; }

 private:
  void Close() {
    if (handle_ != nullptr) CloseHandle(handle_);
    handle_ = nullptr;
  }

  HANDLE handle_ = nullptr;
};

// What the caller of a one-byte transfer and the transfer worker share. The
// signals order every access; only the two waiting flags are read without
// them (by the monitoring worker), hence atomic.
struct TransferState {
  uint8_t OutByte = 0;
  uint8_t InByte = 0;
  bool TimeoutFlag = false;
  Signal WriteRequest;  // manual reset, set by the caller
  Signal ReadRequest;   // manual reset, set by the caller
  Signal IdleSignal;    // manual reset, signalled while no transfer runs
  Signal CancelSignal;  // manual reset, set by Disconnect, never reset
  std::atomic<bool> WriteWaiting{false};
  std::atomic<bool> ReadWaiting{false};
  // Set by an engine that could not reset its request or signal its end, or
  // that failed before it reset its request (a fault, no port object): the
  // worker retires rather than run the request again or leave a caller
  // waiting, and a caller waiting for it is released by its end.
  bool SignalsBroken = false;
};

// The text and number of the latest failure of a port operation. Each
// record replaces the one before; IsError hands it out.
struct LastErrorRecord {
  std::string LastErrorText;  // code page 1250
  int32_t LastErrorCode = 0;
};

// What a port object reads: the parity it takes when created and whether
// output waits for CTS at every application of the line settings.
struct UnitSettings {
  uint8_t ParitySetting = 2;  // 0 none, 1 odd, any other value even
  uint8_t CtsSetting = 1;
};

struct UnitState {
  // Out of line: the port object and the monitoring worker are whole types
  // only in unit_state.cpp.
  UnitState();
  ~UnitState();
  UnitState(const UnitState&) = delete;
  UnitState& operator=(const UnitState&) = delete;

  TransferState Transfer;
  LastErrorRecord LastError;
  UnitSettings Settings;
  // The single port object, and whether InitializePort has run.
  std::unique_ptr<TComm> PortObject;
  bool Initialized = false;
  // The process priority class found when the last event worker was created.
  std::optional<DWORD> SavedPriorityClass;
  // The monitoring worker of OpenThread, and where its notices go and its
  // commands come from (the silent server link unless a test plugs one in).
  std::unique_ptr<TWatekObslugiKomunikatow> MonitorThread;
  ServerLink* Link;
};

UnitState& unitState();

// Ends the unit's workers, closes its port and signals and puts the record
// back to its start values.
void ResetUnit();

void RecordError(std::string_view text, int32_t code);
// A few steps leave the text and store only a number.
void RecordCode(int32_t code);
void ClearError();

}  // namespace winseria
