#include "platform/posix/win32_comm_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/win32_comm_state.h"

namespace voren::win32 {
namespace {

// While a write's bytes sit in the UART queue (CTS off), how often to look.
constexpr auto drainCheck = std::chrono::milliseconds(2);
// While an event wait watches modem lines, how often to read the counters.
constexpr auto modemCheck = std::chrono::milliseconds(10);
constexpr DWORD modemEvents = EV_CTS | EV_DSR | EV_RING | EV_RLSD;

DWORD errorOfOpen(int error) {
  switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
    case ENOTDIR:
    case EIO:  // a serial port with no UART behind it
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:  // TIOCEXCL of another opener
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_GEN_FAILURE;
  }
}

DWORD fileTypeOf(int fd) {
  struct stat info {};
  if (fstat(fd, &info) != 0) return FILE_TYPE_UNKNOWN;
  if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
  if (S_ISREG(info.st_mode) || S_ISBLK(info.st_mode)) return FILE_TYPE_DISK;
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
  return FILE_TYPE_UNKNOWN;
}

// glibc's tcsetattr reads the settings back and fails with EINVAL when the
// driver quietly changed parity or data size, which a pseudo-terminal always
// does (8 bits, no parity) after applying all the rest. That is no failure.
bool appliedButFraming(int fd, const termios& wanted) {
  constexpr tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR;
  termios applied{};
  if (errno != EINVAL || tcgetattr(fd, &applied) != 0) return false;
  return (applied.c_cflag & ~framing) == (wanted.c_cflag & ~framing) &&
         applied.c_iflag == wanted.c_iflag && applied.c_oflag == wanted.c_oflag &&
         applied.c_lflag == wanted.c_lflag;
}

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

DWORD CommDevice::open(const std::string& path, DWORD access, bool overlapped,
                       std::shared_ptr<CommDevice>& device) {
  int mode = O_RDWR;
  if ((access & (GENERIC_READ | GENERIC_WRITE)) == GENERIC_READ) mode = O_RDONLY;
  if ((access & (GENERIC_READ | GENERIC_WRITE)) == GENERIC_WRITE) mode = O_WRONLY;
  const int fd = ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errorOfOpen(errno);
  // A comm port has one user. TIOCEXCL does not stop root, the lock does,
  // between programs that take it; it also stops a second open in this process.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return errorOfOpen(error);
  }
  const bool terminal = isatty(fd) != 0;
  termios settings{};
  int exclusiveBefore = 0;
  if (terminal) {
    tcgetattr(fd, &settings);
    ioctl(fd, TIOCGEXCL, &exclusiveBefore);
    ioctl(fd, TIOCEXCL);
  }
  const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) {
    if (terminal && !exclusiveBefore) ioctl(fd, TIOCNXCL);
    ::close(fd);
    return ERROR_TOO_MANY_OPEN_FILES;
  }
  device.reset(new CommDevice(fd, wakeFd, overlapped, terminal, fileTypeOf(fd)));
  device->clearExclusive_ = terminal && !exclusiveBefore;
  if (terminal) {
    readTermios(settings, device->dcb_);
    device->countersWork_ = ioctl(fd, TIOCGICOUNT, &device->counters_) == 0;
  }
  return 0;
}

CommDevice::CommDevice(int fd, int wakeFd, bool overlapped, bool terminal, DWORD fileType)
    : fd_(fd),
      wakeFd_(wakeFd),
      overlapped_(overlapped),
      terminal_(terminal),
      fileType_(fileType),
      dcb_(defaultDcb()) {}

CommDevice::~CommDevice() {
  closed();
  ::close(wakeFd_);
}

void CommDevice::closed() {
  std::thread ioThread;
  {
    std::lock_guard lock(mutex_);
    if (closing_) return;
    closing_ = true;
    finishWith(reads_, statusCancelled);
    finishWith(writes_, statusCancelled);
    finishWith(waits_, statusCancelled);
    ioThread = std::move(ioThread_);
  }
  wakeIoThread();
  if (ioThread.joinable()) ioThread.join();
  std::lock_guard lock(mutex_);
  // A pseudo-terminal keeps TIOCEXCL after the last close.
  if (clearExclusive_) ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  fd_ = -1;
}

// --- Settings -----------------------------------------------------------------

DWORD CommDevice::getState(DCB& dcb) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  dcb = dcb_;
  return 0;
}

DWORD CommDevice::setState(const DCB& dcb) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0) return ERROR_GEN_FAILURE;
  if (const DWORD error = writeTermios(dcb, settings)) return error;
  makeRaw(settings);
  if (tcsetattr(fd_, TCSANOW, &settings) != 0 && !appliedButFraming(fd_, settings)) {
    return ERROR_INVALID_PARAMETER;
  }
  raw_ = true;
  // The lines follow their control modes; a pseudo-terminal has none, which
  // is no reason to refuse the rest.
  int dtr = TIOCM_DTR;
  if (dcb.fDtrControl == DTR_CONTROL_DISABLE) ioctl(fd_, TIOCMBIC, &dtr);
  if (dcb.fDtrControl == DTR_CONTROL_ENABLE) ioctl(fd_, TIOCMBIS, &dtr);
  int rts = TIOCM_RTS;
  if (dcb.fRtsControl == RTS_CONTROL_DISABLE) ioctl(fd_, TIOCMBIC, &rts);
  if (dcb.fRtsControl == RTS_CONTROL_ENABLE) ioctl(fd_, TIOCMBIS, &rts);
  dcb_ = dcb;
  dcb_.DCBlength = sizeof(DCB);
  return 0;
}

DWORD CommDevice::getTimeouts(COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  timeouts = timeouts_;
  return 0;
}

DWORD CommDevice::setTimeouts(const COMMTIMEOUTS& timeouts) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  if (timeouts.ReadIntervalTimeout == MAXDWORD && timeouts.ReadTotalTimeoutMultiplier == MAXDWORD &&
      timeouts.ReadTotalTimeoutConstant == MAXDWORD) {
    return ERROR_INVALID_PARAMETER;
  }
  timeouts_ = timeouts;
  return 0;
}

DWORD CommDevice::setup(DWORD inQueue, DWORD) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  if (inQueue > 0) inputCapacity_ = inQueue;
  return 0;
}

DWORD CommDevice::purge(DWORD flags) {
  constexpr DWORD all = PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR;
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  if (flags == 0 || (flags & ~all) != 0) return ERROR_INVALID_PARAMETER;
  if (flags & PURGE_TXABORT) finishWith(writes_, statusCancelled);
  if (flags & PURGE_RXABORT) finishWith(reads_, statusCancelled);
  if (flags & PURGE_TXCLEAR) tcflush(fd_, TCOFLUSH);
  if (flags & PURGE_RXCLEAR) {
    input_.clear();
    tcflush(fd_, TCIFLUSH);
  }
  return 0;
}

DWORD CommDevice::clearError(DWORD* errors, COMSTAT* status) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  checkCounters();
  if (errors != nullptr) *errors = lineErrors_;
  lineErrors_ = 0;
  if (status != nullptr) {
    *status = COMSTAT{};
    int waiting = 0;
    if (!hungUp_ && ioctl(fd_, FIONREAD, &waiting) != 0) waiting = 0;
    status->cbInQue = static_cast<DWORD>(input_.size()) + static_cast<DWORD>(waiting);
    DWORD unsent = 0;
    for (const auto& w : writes_) unsent += w.count - w.done;
    status->cbOutQue = unsent + outputQueued();
    int lines = 0;
    if (dcb_.fOutxCtsFlow && status->cbOutQue > 0 && ioctl(fd_, TIOCMGET, &lines) == 0) {
      status->fCtsHold = (lines & TIOCM_CTS) == 0;
    }
  }
  return 0;
}

DWORD CommDevice::setMask(DWORD mask) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  eventMask_ = mask;
  eventHistory_ = 0;
  // A wait in progress ends with no events, as Windows does it.
  for (auto& wait : waits_) wait.events = 0;
  finishWith(waits_, statusSuccess);
  return 0;
}

DWORD CommDevice::getMask(DWORD& mask) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  mask = eventMask_;
  return 0;
}

DWORD CommDevice::escape(DWORD function) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  int line = 0;
  int result = 0;
  switch (function) {
    case SETRTS:
    case CLRRTS:
      line = TIOCM_RTS;
      result = ioctl(fd_, function == SETRTS ? TIOCMBIS : TIOCMBIC, &line);
      break;
    case SETDTR:
    case CLRDTR:
      line = TIOCM_DTR;
      result = ioctl(fd_, function == SETDTR ? TIOCMBIS : TIOCMBIC, &line);
      break;
    case SETBREAK:
      result = ioctl(fd_, TIOCSBRK);
      break;
    case CLRBREAK:
      result = ioctl(fd_, TIOCCBRK);
      break;
    case SETXON:
      result = tcflow(fd_, TCOON);
      break;
    case SETXOFF:
      result = tcflow(fd_, TCOOFF);
      break;
    case RESETDEV:
      break;
    default:
      return ERROR_INVALID_PARAMETER;
  }
  // A pseudo-terminal has no modem lines.
  return result == 0 ? 0 : ERROR_NOT_SUPPORTED;
}

DWORD CommDevice::modemStatus(DWORD& status) {
  std::lock_guard lock(mutex_);
  if (closing_) return ERROR_INVALID_HANDLE;
  if (!terminal_) return ERROR_INVALID_FUNCTION;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) return ERROR_NOT_SUPPORTED;
  status = 0;
  if (lines & TIOCM_CTS) status |= MS_CTS_ON;
  if (lines & TIOCM_DSR) status |= MS_DSR_ON;
  if (lines & TIOCM_RI) status |= MS_RING_ON;
  if (lines & TIOCM_CD) status |= MS_RLSD_ON;
  return 0;
}

void CommDevice::raiseLineError(DWORD ceBits) {
  std::lock_guard lock(mutex_);
  if (!closing_) noteLineErrors(ceBits);
}

// --- Transfers ----------------------------------------------------------------

CommDevice::Transfer CommDevice::makeTransfer(Kind kind, OVERLAPPED& overlapped) {
  Transfer transfer{};
  transfer.kind = kind;
  transfer.overlapped = &overlapped;
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
    std::lock_guard lock(signalMutex());
    completed_ = true;
    notifyWaiters();
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

void CommDevice::ensureRaw() {
  if (raw_ || !terminal_) return;
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0) return;
  makeRaw(settings);
  tcsetattr(fd_, TCSANOW, &settings);
  raw_ = true;
}

bool CommDevice::refusing() const { return dcb_.fAbortOnError && lineErrors_ != 0; }

BOOL CommDevice::read(void* buffer, DWORD count, DWORD* done, OVERLAPPED& overlapped) {
  std::lock_guard lock(mutex_);
  if (closing_) return fail(ERROR_INVALID_HANDLE, FALSE);
  if (done != nullptr) *done = 0;
  if (refusing()) return fail(ERROR_OPERATION_ABORTED, FALSE);
  if (hungUp_) return fail(ERROR_DEVICE_NOT_CONNECTED, FALSE);
  ensureRaw();
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
  ensureRaw();
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
  ensureRaw();
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
    if (w.done == w.count) next = std::min(next, now + drainCheck);
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
    if (write.done < write.count && !outputBlocked_) {
      const std::size_t before = writes_.size();
      pushOutput(write);
      if (writes_.size() != before || hungUp_) continue;
    }
    // Done once the bytes have left: held back by CTS they still count as unsent.
    if (write.done == write.count && outputQueued() == 0) {
      complete(write, statusSuccess);
      writes_.pop_front();
      if (writes_.empty()) noteEvents(EV_TXEMPTY);
      continue;
    }
    if (now < write.deadline) break;
    const DWORD queued = outputQueued();
    if (queued > 0) {
      tcflush(fd_, TCOFLUSH);
      write.done -= std::min(write.done, queued);
    }
    complete(write, statusTimeout);
    writes_.pop_front();
  }
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
