#pragma once
// TZdarzeniaCommThread, the event worker: waits for the port's events and
// has each one handled on the owner thread, which runs it while it waits
// for the workers to end at disconnect.
#include <cstdint>
#include <functional>

#include "serial/runtime_thread.h"

namespace winseria {

class TZdarzeniaCommThread : public RuntimeThread {
 public:
  using EventHandler = std::function<void(TZdarzeniaCommThread* worker, DWORD eventMask)>;

  // Raises the process priority class (saving the one found), sets the
  // port's event mask from eventSet and starts the thread.
  TZdarzeniaCommThread(HANDLE commHandle, uint16_t eventSet);
  ~TZdarzeniaCommThread() override;

  void Stop();

  HANDLE CommHandle;
  DWORD EventMask = 0;
  EventHandler OnEvent;
  HANDLE StopSignal = nullptr;

 protected:
  void Execute() override;
  virtual void DispatchEvent();
};

// The platform event mask for a set of event kinds (bit i = row i).
DWORD EventMaskFor(uint16_t eventSet);

}  // namespace winseria
