// Transfers of a comm device: overlapped reads, writes and event waits, and
// the I/O thread that ends them as bytes, time-outs and line errors come.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/win32/posix/win32_comm_device.h"
#include "platform/win32/posix/win32_fault_points.h"

namespace voren::win32 {
namespace {

// While CTS holds back a write, how often to look whether it lets go.
constexpr auto ctsCheck = std::chrono::milliseconds(2);
// How often a line read held is asked again though the driver counted no
// change of CTS.
constexpr auto ctsRecheck = std::chrono::milliseconds(20);
// While an event wait watches modem lines, how often to read the counters.
constexpr auto modemCheck = std::chrono::milliseconds(10);
constexpr DWORD modemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

ULONG_PTR loadStatus(const OVERLAPPED& overlapped) {
  return __atomic_load_n(&overlapped.Internal, __ATOMIC_ACQUIRE);
}

}  // namespace

DWORD errorOfStatus(ULONG_PTR status) {
  switch (status) {
    case statusCancelled:
      return ERROR_OPERATION_ABORTED;
    case statusDeviceGone:
      return ERROR_DEVICE_NOT_CONNECTED;
    case statusAccessDenied:
      return ERROR_ACCESS_DENIED;
    default:
      return ERROR_GEN_FAILURE;
  }
}

// --- Transfers ----------------------------------------------------------------

CommDevice::Transfer CommDevice::makeTransfer(Kind kind, OVERLAPPED& overlapped) {
  Transfer transfer{};
  transfer.kind = kind;
  transfer.overlapped = &overlapped;
  used_ = true;
  transfer.event = findAs<Event>(overlapped.hEvent);
  // The system clears the record's event as a transfer starts.
  if (transfer.event) transfer.event->reset();
  overlapped.InternalHigh = 0;
  __atomic_store_n(&overlapped.Internal, statusPending, __ATOMIC_RELEASE);
  std::lock_guard lock(signalMutex());
  completed_ = false;
  return transfer;
}

void CommDevice::complete(Transfer& transfer, ULONG_PTR status) {
  OVERLAPPED& overlapped = *transfer.overlapped;
  if (transfer.kind == Kind::Wait) {
    *transfer.mask = status == statusSuccess ? transfer.events : 0;
    overlapped.InternalHigh = sizeof(DWORD);
  } else {
    overlapped.InternalHigh = transfer.done;
  }
  __atomic_store_n(&overlapped.Internal, status, __ATOMIC_RELEASE);
  if (transfer.event) transfer.event->set();
  {
    Wakeups wakeups;
    std::lock_guard lock(signalMutex());
    completed_ = true;
    wakeups.collect(*this);
  }
  transferEnded_.notify_all();
}

void CommDevice::finishWith(std::deque<Transfer>& queue, ULONG_PTR status) {
  for (auto& transfer : queue) complete(transfer, status);
  queue.clear();
}

BOOL CommDevice::finishCall(const OVERLAPPED& overlapped, DWORD* done) {
  const ULONG_PTR status = loadStatus(overlapped);
  if (status == statusPending) {
    startIoThread();
    wakeIoThread();
    return fail(ERROR_IO_PENDING, FALSE);
  }
  if (status == statusSuccess || status == statusTimeout) {
    if (done != nullptr) *done = static_cast<DWORD>(overlapped.InternalHigh);
    return TRUE;
  }
  return fail(errorOfStatus(status), FALSE);
}

bool CommDevice::refusing() const { return dcb_.fAbortOnError && lineErrors_ != 0; }

BOOL CommDevice::read(void* buffer, DWORD count, DWORD* done, OVERLAPPED& overlapped) {
  std::lock_guard lock(mutex_);
  if (closing_) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (done != nullptr) *done = 0;
  if (refusing()) return fail(ERROR_OPERATION_ABORTED, FALSE);
  if (hungUp_) return fail(ERROR_DEVICE_NOT_CONNECTED, FALSE);
  Transfer transfer = makeTransfer(Kind::Read, overlapped);
  transfer.buffer = static_cast<std::uint8_t*>(buffer);
  transfer.count = count;
  reads_.push_back(std::move(transfer));
  if (reads_.size() == 1) {
    // What the driver already holds completes the read here and now.
    pullInput();
    serveReads(Clock::now());
  }
  return finishCall(overlapped, done);
}

BOOL CommDevice::write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED& overlapped) {
  std::lock_guard lock(mutex_);
  if (closing_) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (done != nullptr) *done = 0;
  if (refusing()) return fail(ERROR_OPERATION_ABORTED, FALSE);
  if (hungUp_) return fail(ERROR_DEVICE_NOT_CONNECTED, FALSE);
  Transfer transfer = makeTransfer(Kind::Write, overlapped);
  transfer.buffer = static_cast<std::uint8_t*>(const_cast<void*>(buffer));
  transfer.count = count;
  writes_.push_back(std::move(transfer));
  // Bytes the driver takes and sends on at once complete the write here.
  if (writes_.size() == 1) serveWrites(Clock::now());
  return finishCall(overlapped, done);
}

BOOL CommDevice::waitEvent(DWORD* mask, OVERLAPPED& overlapped) {
  std::lock_guard lock(mutex_);
  if (closing_) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (!terminal_) return fail(ERROR_INVALID_FUNCTION, FALSE);
  // One wait at a time, and only for something.
  if (eventMask_ == 0 || !waits_.empty()) return fail(ERROR_INVALID_PARAMETER, FALSE);
  Transfer transfer = makeTransfer(Kind::Wait, overlapped);
  transfer.mask = mask;
  waits_.push_back(std::move(transfer));
  noteEvents(0);
  return finishCall(overlapped, nullptr);
}

void CommDevice::awaitCompletion(const OVERLAPPED& overlapped) {
  std::unique_lock lock(mutex_);
  transferEnded_.wait(lock, [&] { return loadStatus(overlapped) != statusPending; });
}

bool CommDevice::cancel(const OVERLAPPED* overlapped) {
  std::lock_guard lock(mutex_);
  if (closing_) return false;
  bool found = false;
  for (auto* queue : {&reads_, &writes_, &waits_}) {
    const auto hit = std::stable_partition(queue->begin(), queue->end(), [&](const Transfer& t) {
      return overlapped != nullptr && t.overlapped != overlapped;
    });
    for (auto it = hit; it != queue->end(); ++it) complete(*it, statusCancelled);
    found = found || hit != queue->end();
    queue->erase(hit, queue->end());
  }
  return found;
}

// --- The engine -----------------------------------------------------------------

void CommDevice::startIoThread() {
  if (!ioThread_.joinable() && !closing_) ioThread_ = std::thread([this] { ioLoop(); });
}

void CommDevice::wakeIoThread() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = ::write(wakeFd_, &one, sizeof one);
}

void CommDevice::ioLoop() {
  std::unique_lock lock(mutex_);
  while (!closing_) {
    short events = 0;
    if (input_.size() < inputCapacity_) events |= POLLIN;
    if (outputBlocked_) events |= POLLOUT;
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {hungUp_ ? -1 : fd_, events, 0}};
    const auto now = Clock::now();
    const auto deadline = nextDeadline(now);
    int timeout = -1;
    if (deadline != Clock::time_point::max()) {
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
      timeout = static_cast<int>(std::clamp<decltype(wait)>(wait, 0, 1'000'000));
    }
    lock.unlock();
    const int ready = poll(fds, 2, timeout);
    lock.lock();
    if (closing_) break;
    if (ready > 0) {
      if (fds[0].revents & POLLIN) {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto got = ::read(wakeFd_, &count, sizeof count);
      }
      if (fds[1].revents & POLLOUT) outputBlocked_ = false;
      if (fds[1].revents & POLLIN) {
        pullInput();
      } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        hangUp();
      }
    }
    serve(Clock::now());
  }
}

void CommDevice::serve(Clock::time_point now) {
  serveReads(now);
  serveWrites(now);
  checkCounters();
}

Clock::time_point CommDevice::nextDeadline(Clock::time_point now) const {
  auto next = Clock::time_point::max();
  if (!reads_.empty() && reads_.front().started) {
    const Transfer& r = reads_.front();
    next = std::min(next, r.deadline);
    if (r.interval.count() > 0 && r.done > 0) next = std::min(next, r.lastByte + r.interval);
  }
  if (!writes_.empty() && writes_.front().started) {
    const Transfer& w = writes_.front();
    next = std::min(next, w.deadline);
    if (w.done < w.count && !outputBlocked_) next = std::min(next, now + ctsCheck);
  }
  if (countersWork_ && !waits_.empty() && (eventMask_ & modemEvents) != 0) {
    next = std::min(next, now + modemCheck);
  }
  return next;
}

void CommDevice::pullInput() {
  if (hungUp_ || fd_ < 0) return;
  std::uint8_t chunk[4096];
  while (input_.size() < inputCapacity_) {
    const std::size_t room = std::min(sizeof chunk, inputCapacity_ - input_.size());
    const ssize_t got = ::read(fd_, chunk, room);
    if (got > 0) {
      input_.insert(input_.end(), chunk, chunk + got);
      DWORD events = EV_RXCHAR;
      if (std::find(chunk, chunk + got, static_cast<std::uint8_t>(dcb_.EvtChar)) != chunk + got) {
        events |= EV_RXFLAG;
      }
      noteEvents(events);
      if (static_cast<std::size_t>(got) < room) break;
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 && errno == EAGAIN) break;
    // End of file or EIO: the other end of the line is gone for good (a
    // pseudo-terminal whose master closed, a serial adapter pulled out).
    hangUp();
    break;
  }
  checkCounters();
}

void CommDevice::hangUp() {
  hungUp_ = true;
  finishWith(reads_, statusDeviceGone);
  finishWith(writes_, statusDeviceGone);
}

void CommDevice::startRead(Transfer& read, Clock::time_point now) {
  read.started = true;
  const COMMTIMEOUTS& t = timeouts_;
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
      t.ReadTotalTimeoutConstant == 0) {
    read.mode = ReadMode::Immediate;
    return;
  }
  if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD) {
    read.mode = ReadMode::FirstByte;
    read.deadline = now + std::chrono::milliseconds(t.ReadTotalTimeoutConstant);
    return;
  }
  const std::uint64_t total =
      std::uint64_t{t.ReadTotalTimeoutMultiplier} * read.count + t.ReadTotalTimeoutConstant;
  if (total > 0) read.deadline = now + std::chrono::milliseconds(total);
  if (t.ReadIntervalTimeout != MAXDWORD) {
    read.interval = std::chrono::milliseconds(t.ReadIntervalTimeout);
  }
}

void CommDevice::serveReads(Clock::time_point now) {
  while (!reads_.empty()) {
    Transfer& read = reads_.front();
    if (!read.started) startRead(read, now);
    const auto take = std::min<std::size_t>(read.count - read.done, input_.size());
    if (take > 0) {
      std::copy_n(input_.begin(), take, read.buffer + read.done);
      input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(take));
      read.done += static_cast<DWORD>(take);
      read.lastByte = now;
    }
    const bool ended = read.done == read.count || read.mode == ReadMode::Immediate ||
                       (read.mode == ReadMode::FirstByte && read.done > 0);
    const bool timedOut = now >= read.deadline || (read.interval.count() > 0 && read.done > 0 &&
                                                   now - read.lastByte >= read.interval);
    if (!ended && !timedOut) break;
    // A read that times out succeeds with the bytes it has, as on Windows.
    complete(read, ended ? statusSuccess : statusTimeout);
    reads_.pop_front();
  }
}

void CommDevice::startWrite(Transfer& write, Clock::time_point now) {
  write.started = true;
  const std::uint64_t total = std::uint64_t{timeouts_.WriteTotalTimeoutMultiplier} * write.count +
                              timeouts_.WriteTotalTimeoutConstant;
  if (total > 0) write.deadline = now + std::chrono::milliseconds(total);
}

void CommDevice::pushOutput(Transfer& write) {
  while (write.done < write.count) {
    const ssize_t sent = ::write(fd_, write.buffer + write.done, write.count - write.done);
    if (sent > 0) {
      write.done += static_cast<DWORD>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && errno == EAGAIN) {
      outputBlocked_ = true;
      return;
    }
    if (sent < 0 && errno == EBADF) {
      complete(write, statusAccessDenied);  // opened for reading only
      writes_.pop_front();
      return;
    }
    hangUp();
    return;
  }
}

DWORD CommDevice::outputQueued() const {
  int queued = 0;
  if (hungUp_ || ioctl(fd_, TIOCOUTQ, &queued) != 0) return 0;
  return static_cast<DWORD>(queued);
}

void CommDevice::serveWrites(Clock::time_point now) {
  while (!writes_.empty()) {
    Transfer& write = writes_.front();
    if (!write.started) startWrite(write, now);
    // While CTS holds the line the driver gets nothing new: bytes it has are
    // as good as sent, so no time-out may have to take any of them back.
    if (write.done < write.count && !outputBlocked_ && !heldByCts()) {
      const std::size_t before = writes_.size();
      pushOutput(write);
      if (writes_.size() != before || hungUp_) continue;
    }
    if (write.done == write.count) {
      complete(write, statusSuccess);
      writes_.pop_front();
      if (writes_.empty()) noteEvents(EV_TXEMPTY);
      continue;
    }
    if (now < write.deadline) break;
    // The driver sends what it took, in order, once the line lets it; only
    // the bytes it never took are lost, and the count says so.
    complete(write, statusTimeout);
    writes_.pop_front();
  }
}

// Asked before each write; a line without modem lines has no CTS to hold
// it. A USB adapter's driver (ftdi_sio) answers TIOCMGET with a control
// transfer to the adapter: a millisecond a byte, and when the adapter is
// pulled out mid-transfer the host controller may never end it, which holds
// this thread for the USB time-out (5 s). The driver counts CTS changes as
// the adapter reports them, so the line is asked again only when the count
// moved. Some drivers answer for the count and never move it (cp210x in
// most kernels: its modem status events go unread): a line read held is
// asked again all the same, every little while, or a printer busy as the
// update starts would hold it for good. Nothing is sent meanwhile, so no
// control transfer of ours slows the bytes.
bool CommDevice::heldByCts() const {
  if (!dcb_.fOutxCtsFlow) return false;
  if (ctsHeldByTest()) return true;
  if (!modemLines_) return false;
  serial_icounter_struct now{};
  const bool counted = countersWork_ && ioctl(fd_, TIOCGICOUNT, &now) == 0;
  const auto at = Clock::now();
  if (counted && ctsKnown_ && now.cts == ctsCount_ && (!ctsLow_ || at < ctsAsked_ + ctsRecheck)) {
    return ctsLow_;
  }
  int lines = 0;
  const bool read = ioctl(fd_, TIOCMGET, &lines) == 0;
  ctsKnown_ = counted && read;
  ctsCount_ = now.cts;
  ctsAsked_ = at;
  ctsLow_ = read && (lines & TIOCM_CTS) == 0;
  return ctsLow_;
}

void CommDevice::noteEvents(DWORD events) {
  eventHistory_ |= events & eventMask_;
  if (waits_.empty() || eventHistory_ == 0) return;
  waits_.front().events = eventHistory_;
  eventHistory_ = 0;
  finishWith(waits_, statusSuccess);
}

void CommDevice::noteLineErrors(DWORD ceBits) {
  lineErrors_ |= ceBits;
  // The driver ends and refuses transfers until the error is cleared.
  if (dcb_.fAbortOnError && ceBits != 0) {
    finishWith(reads_, statusCancelled);
    finishWith(writes_, statusCancelled);
  }
  DWORD events = 0;
  if (ceBits & CE_BREAK) events |= EV_BREAK;
  if (ceBits & ~static_cast<DWORD>(CE_BREAK)) events |= EV_ERR;
  noteEvents(events);
}

void CommDevice::checkCounters() {
  if (!countersWork_) return;
  serial_icounter_struct now{};
  if (ioctl(fd_, TIOCGICOUNT, &now) != 0) return;
  const serial_icounter_struct& was = counters_;
  DWORD errors = 0;
  if (now.frame != was.frame) errors |= CE_FRAME;
  if (now.overrun != was.overrun) errors |= CE_OVERRUN;
  if (now.parity != was.parity) errors |= CE_RXPARITY;
  if (now.brk != was.brk) errors |= CE_BREAK;
  if (now.buf_overrun != was.buf_overrun) errors |= CE_RXOVER;
  DWORD events = 0;
  if (now.cts != was.cts) events |= EV_CTS;
  if (now.dsr != was.dsr) events |= EV_DSR;
  if (now.rng != was.rng) events |= EV_RING;
  if (now.dcd != was.dcd) events |= EV_RLSD;
  counters_ = now;
  if (errors != 0) noteLineErrors(errors);
  if (events != 0) noteEvents(events);
}

}  // namespace voren::win32
