#pragma once
// TZapisOdczytThread, the transfer worker: runs one write or read engine at
// a time, on request of the caller of a one-byte transfer.
#include "serial/runtime_thread.h"

namespace winseria {

class TZapisOdczytThread : public RuntimeThread {
 public:
  // Creates the transfer signals (releasing an earlier connection's) before
  // the thread runs, so they exist by the time Connect returns.
  explicit TZapisOdczytThread(HANDLE commHandle);
  ~TZapisOdczytThread() override;

  void Stop();

  HANDLE CommHandle;
  HANDLE StopSignal = nullptr;

 protected:
  void Execute() override;
  virtual void DoWrite();
  virtual void DoRead();

 private:
  bool signalsReady_ = false;
};

}  // namespace winseria
