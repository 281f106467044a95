#pragma once
// The unit's workers: the thread object they are built on, the transfer
// worker that runs one byte transfer at a time, and the event worker that
// waits for the port's events.
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/win32/win32.h"
#include "serial/unit_state.h"

namespace winseria {

// A thread created suspended and started by Resume, with a stop signal and a
// stop-requested flag the worker looks at between its waits, and a wait for
// its end during which the waiting (owner) thread runs the operations that
// workers hand over to it.
class RuntimeThread {
 public:
  RuntimeThread(const RuntimeThread&) = delete;
  RuntimeThread& operator=(const RuntimeThread&) = delete;
  virtual ~RuntimeThread();

  void Resume();
  // Sets the stop signal, then the stop-requested flag.
  void Stop();
  void Terminate() { stopRequested_ = true; }
  bool Terminated() const { return stopRequested_; }
  bool SetPriority(int priority);
  // Blocks until the thread has ended, running handed-over operations
  // meanwhile. Returns at once for a thread that never started.
  void WaitFor();
  bool Started() const { return handle_ != nullptr; }
  // Signalled once the thread has ended; null when it never started.
  HANDLE ThreadHandle() const { return handle_; }

  // Made by each worker at its own step of its start; ends the worker's
  // waits. Closed with the worker.
  Signal StopSignal;

 protected:
  // Creates the platform thread suspended; Execute runs after Resume.
  RuntimeThread();
  virtual void Execute() = 0;
  // Runs op on the owner thread while it waits for a worker to end, and
  // blocks until it has run there.
  static void HandOver(const std::function<void()>& op);
  // For destructors of derived classes: the thread must not outlive the
  // part of the object it runs in. Stops it, resuming one that never ran,
  // and waits for its end.
  void EndBeforeDestruction();

 private:
  static DWORD WINAPI Entry(LPVOID self);

  HANDLE handle_ = nullptr;
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> resumed_{false};
};

// TZapisOdczytThread, the transfer worker: runs one write or read engine at
// a time, on request of the caller of a one-byte transfer.
class TZapisOdczytThread : public RuntimeThread {
 public:
  // Creates the transfer signals (releasing an earlier connection's) before
  // the thread runs, so they exist by the time Connect returns.
  explicit TZapisOdczytThread(HANDLE commHandle);
  ~TZapisOdczytThread() override { EndBeforeDestruction(); }

  HANDLE CommHandle;

 protected:
  void Execute() override;
  virtual void DoWrite();
  virtual void DoRead();

 private:
  bool signalsReady_ = false;
};

// TZdarzeniaCommThread, the event worker: waits for the port's events and
// has each one handled on the owner thread, which runs it while it waits
// for the workers to end at disconnect.
class TZdarzeniaCommThread : public RuntimeThread {
 public:
  using EventHandler = std::function<void(TZdarzeniaCommThread* worker, DWORD eventMask)>;

  // Raises the process priority class (saving the one found), sets the
  // port's event mask from eventSet and starts the thread.
  TZdarzeniaCommThread(HANDLE commHandle, uint16_t eventSet);
  ~TZdarzeniaCommThread() override { EndBeforeDestruction(); }

  HANDLE CommHandle;
  DWORD EventMask = 0;
  EventHandler OnEvent;

 protected:
  void Execute() override;
  virtual void DispatchEvent();
};

// The platform event mask for a set of event kinds (bit i = row i).
DWORD EventMaskFor(uint16_t eventSet);

}  // namespace winseria
