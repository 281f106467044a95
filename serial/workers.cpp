#include "serial/workers.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>

#include "serial/comm.h"
#include "serial/texts.h"

namespace winseria {
namespace {

struct PendingOp {
  const std::function<void()>* op;
  bool done = false;
};

// Operations handed over by workers, waiting for the owner thread. The
// signal wakes an owner blocked in WaitFor; it is made once per process.
//
// Not part of the unit's record, and not reset with it: every thread object
// of the process hands over through it, not only the unit's (a test's own
// port object, a test's own thread), and one blocked in a hand-over holds
// an entry in it. The unit's own workers leave nothing here: a worker ends
// only after its hand-over has run, and the reset waits for their end.
struct HandOverQueue {
  std::mutex lock;
  std::condition_variable ran;
  std::deque<PendingOp*> pending;
  HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
};

HandOverQueue& queue() {
  // Never destroyed: workers may outlive the static objects at exit.
  static auto* q = new HandOverQueue;
  return *q;
}

void runHandOvers() {
  auto& q = queue();
  std::unique_lock guard(q.lock);
  while (!q.pending.empty()) {
    PendingOp* p = q.pending.front();
    q.pending.pop_front();
    guard.unlock();
    (*p->op)();
    guard.lock();
    p->done = true;
    q.ran.notify_all();
  }
  ResetEvent(q.signal);
}

bool makeSignal(Signal& s, BOOL initiallySet) {
  s = Signal(CreateEventA(nullptr, TRUE, initiallySet, nullptr));
  if (s != nullptr) return true;
  RecordError(texts::kBladCreateEventSpacja, static_cast<int32_t>(GetLastError()));
  return false;
}

// An engine that faults, or finds no port object, ends the transfer like any
// other way out; its request may still be set, so the worker retires rather
// than take it again.
template <typename Engine>
void runEngine(Engine engine) {
  try {
    if (TComm* port = unitState().PortObject.get()) {
      engine(*port);
      return;
    }
  } catch (const std::exception&) {
  }
  RecordError(texts::kPortNieOtwarty, -1);
  unitState().Transfer.SignalsBroken = true;
  EndTransfer(0);
}

}  // namespace

// The thread object.

RuntimeThread::RuntimeThread() {
  queue();  // the hand-over signal exists before any worker can need it
  DWORD id = 0;
  handle_ = CreateThread(nullptr, 0, &RuntimeThread::Entry, this, CREATE_SUSPENDED, &id);
}

RuntimeThread::~RuntimeThread() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

DWORD WINAPI RuntimeThread::Entry(LPVOID self) {
  static_cast<RuntimeThread*>(self)->Execute();
  return 0;
}

void RuntimeThread::Resume() {
  if (handle_ != nullptr && !resumed_.exchange(true)) ResumeThread(handle_);
}

bool RuntimeThread::SetPriority(int priority) {
  return handle_ != nullptr && SetThreadPriority(handle_, priority);
}

void RuntimeThread::WaitFor() {
  if (handle_ == nullptr) return;
  auto& q = queue();
  for (;;) {
    HANDLE waits[2] = {handle_, q.signal};
    // Without a wake-up signal the queue is looked at every 10 ms instead.
    const bool woken = q.signal != nullptr;
    const DWORD r = WaitForMultipleObjects(woken ? 2 : 1, waits, FALSE, woken ? INFINITE : 10);
    if (r == WAIT_OBJECT_0) return;
    if (r == WAIT_OBJECT_0 + 1 || r == WAIT_TIMEOUT) {
      runHandOvers();
    } else {
      // A failed wait must not let the caller destroy a running thread.
      runHandOvers();
      Sleep(1);
    }
  }
}

void RuntimeThread::HandOver(const std::function<void()>& op) {
  auto& q = queue();
  PendingOp p{&op};
  std::unique_lock guard(q.lock);
  q.pending.push_back(&p);
  SetEvent(q.signal);
  q.ran.wait(guard, [&] { return p.done; });
}

void RuntimeThread::Stop() {
  if (StopSignal != nullptr) SetEvent(StopSignal);
  Terminate();
}

void RuntimeThread::EndBeforeDestruction() {
  if (handle_ == nullptr) return;
  Stop();
  Resume();
  WaitFor();
}

// The transfer worker.

TZapisOdczytThread::TZapisOdczytThread(HANDLE commHandle) : CommHandle(commHandle) {
  auto& t = unitState().Transfer;
  // The earlier connection's signals go, whichever of the new ones come.
  t.IdleSignal = Signal();
  t.WriteRequest = Signal();
  t.ReadRequest = Signal();
  t.SignalsBroken = false;
  signalsReady_ = makeSignal(t.IdleSignal, TRUE) && makeSignal(StopSignal, FALSE) &&
                  makeSignal(t.WriteRequest, FALSE) && makeSignal(t.ReadRequest, FALSE);
  SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
  Resume();
}

void TZapisOdczytThread::Execute() {
  auto& t = unitState().Transfer;
  if (!signalsReady_) return;
  for (;;) {
    HANDLE waits[3] = {StopSignal, t.WriteRequest, t.ReadRequest};
    const DWORD r = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 1) {
      ResetEvent(t.IdleSignal);
      DoWrite();
    } else if (r == WAIT_OBJECT_0 + 2) {
      ResetEvent(t.IdleSignal);
      DoRead();
    } else {
      return;
    }
    if (t.SignalsBroken || Terminated()) return;
  }
}

void TZapisOdczytThread::DoWrite() {
  runEngine([](TComm& port) { port.WriteData(&unitState().Transfer.OutByte); });
}

void TZapisOdczytThread::DoRead() {
  runEngine([](TComm& port) { port.ReadData(&unitState().Transfer.InByte, 1); });
}

// The event worker.

DWORD EventMaskFor(uint16_t eventSet) {
  DWORD mask = 0;
  for (unsigned bit = 0; bit < std::size(kEventKinds); ++bit) {
    if (eventSet & (1u << bit)) mask |= kEventKinds[bit];
  }
  return mask;
}

TZdarzeniaCommThread::TZdarzeniaCommThread(HANDLE commHandle, uint16_t eventSet)
    : CommHandle(commHandle) {
  SetLastError(0);
  RaisePriorityClass();
  SetPriority(THREAD_PRIORITY_TIME_CRITICAL);
  SetCommMask(commHandle, EventMaskFor(eventSet));
  // Made before the thread runs: Stop may come before Execute gets going.
  StopSignal = Signal(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  Resume();
}

void TZdarzeniaCommThread::Execute() {
  SetLastError(0);
  OVERLAPPED overlap{};
  overlap.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  bool pending = false;
  for (;;) {
    pending =
        !WaitCommEvent(CommHandle, &EventMask, &overlap) && GetLastError() == ERROR_IO_PENDING;
    // The event comes before the stop: an event that has come by the time
    // the disconnect stops the worker (a line error just before it) is still
    // handed over, and the disconnect's wait runs it.
    HANDLE waits[2] = {overlap.hEvent, StopSignal};
    const DWORD r = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (r == WAIT_OBJECT_0 + 1) break;
    if (r == WAIT_OBJECT_0) {
      DWORD unused = 0;
      if (!GetOverlappedResult(CommHandle, &overlap, &unused, FALSE)) break;
      pending = false;
      HandOver([this] { DispatchEvent(); });
    } else if (r == WAIT_FAILED) {
      // Waiting again would only fail again, at full speed.
      break;
    }
    if (Terminated()) break;
  }
  // The last query writes into this frame's record and EventMask when it
  // ends; it must end before they go.
  if (pending) AbandonIo(CommHandle, overlap);
  PurgeComm(CommHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  if (overlap.hEvent != nullptr) CloseHandle(overlap.hEvent);
}

void TZdarzeniaCommThread::DispatchEvent() {
  if (OnEvent) OnEvent(this, EventMask);
}

}  // namespace winseria
