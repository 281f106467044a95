#include "platform/win32/posix/win32_comm_device.h"

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/win32/device_access.h"
#include "platform/win32/posix/win32_comm_state.h"
#include "platform/win32/posix/win32_fault_points.h"
#include "platform/win32/posix/win32_port_claim.h"

namespace voren {
namespace {

// Windows gives 5 both to a port another opener holds and to a user the
// device does not admit, and the serial unit reads 5 as Windows means it;
// the system's own reason stays beside it for whoever asks.
thread_local bool deniedForPermission = false;

}  // namespace

bool accessDeniedForPermission() { return deniedForPermission; }

}  // namespace voren

namespace voren::win32 {
namespace {

DWORD errorOfOpen(int error) {
  deniedForPermission = error == EACCES || error == EPERM;
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

}  // namespace

DWORD CommDevice::open(const std::string& path, DWORD access, bool overlapped,
                       std::shared_ptr<CommDevice>& device) {
  deniedForPermission = false;
  int mode = O_RDWR;
  if ((access & (GENERIC_READ | GENERIC_WRITE)) == GENERIC_READ) mode = O_RDONLY;
  if ((access & (GENERIC_READ | GENERIC_WRITE)) == GENERIC_WRITE) mode = O_WRONLY;
  const auto unopened = PortClaim::unopenedSinceLook();
  const int fd = ::open(path.c_str(), mode | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errorOfOpen(errno);
  const bool terminal = isatty(fd) != 0;
  PortClaim claim;
  if (const int error = claim.take(fd, terminal, unopened)) {
    ::close(fd);
    return errorOfOpen(error);
  }
  termios settings{};
  if (terminal) tcgetattr(fd, &settings);
  const int wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0) {
    claim.release();
    ::close(fd);
    return ERROR_TOO_MANY_OPEN_FILES;
  }
  device.reset(new CommDevice(fd, wakeFd, overlapped, terminal, fileTypeOf(fd)));
  device->claim_ = std::move(claim);
  if (terminal) {
    readTermios(settings, device->dcb_);
    device->countersWork_ = ioctl(fd, TIOCGICOUNT, &device->counters_) == 0;
    int lines = 0;
    device->modemLines_ = ioctl(fd, TIOCMGET, &lines) == 0;
    // Raw from the start: bytes that arrive before the first transfer must
    // not meet echo or translation.
    device->foundSettings_ = settings;
    makeRaw(settings);
    tcsetattr(fd, TCSANOW, &settings);
    device->askLowLatency();
  }
  return 0;
}

// A USB adapter's driver (ftdi_sio) holds what the adapter receives for the
// adapter's latency timer, 16 ms, unless the port is in low latency mode:
// with one answer for every few bytes sent, that is most of an update's
// time. A driver without the mode (a pseudo-terminal) or that refuses it
// leaves the port as it was.
void CommDevice::askLowLatency() {
  serial_struct serial{};
  if (ioctl(fd_, TIOCGSERIAL, &serial) != 0 || (serial.flags & ASYNC_LOW_LATENCY)) return;
  serial.flags |= ASYNC_LOW_LATENCY;
  clearLowLatency_ = ioctl(fd_, TIOCSSERIAL, &serial) == 0;
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
  // The line goes back as it was found, after a probe and after an update
  // alike: whatever uses the port next (a terminal, another tool) finds its
  // own settings, not ours. Bytes a write already handed over go out first,
  // at the settings they were written for.
  if (terminal_ && !hungUp_) {
    if (used_) drainOutput();
    tcsetattr(fd_, TCSANOW, &foundSettings_);
  }
  claim_.release(!used_);
  serial_struct serial{};
  if (clearLowLatency_ && ioctl(fd_, TIOCGSERIAL, &serial) == 0) {
    serial.flags &= ~ASYNC_LOW_LATENCY;
    ioctl(fd_, TIOCSSERIAL, &serial);
  }
  ::close(fd_);
  fd_ = -1;
}

// The driver's queue, and a UART's FIFO and shift register where its driver
// tells them (the 8250's does; a USB adapter's and a pseudo-terminal's do
// not), are empty.
bool CommDevice::outputSent() const {
  if (outputQueued() > 0) return false;
  unsigned int lsr = 0;
  return ioctl(fd_, TIOCSERGETLSR, &lsr) != 0 || (lsr & TIOCSER_TEMT) != 0;
}

// Not TCSADRAIN: the kernel waits for the queue without a bound, and a line
// that CTS holds never empties it. Twice the queue's time on the wire, then
// what is left is dropped: sent at the settings put back it would reach the
// printer as noise.
void CommDevice::drainOutput() {
  if (outputSent()) return;
  constexpr std::uint64_t bitsPerByte = 12;  // start, 8 data, parity, 2 stop at most
  const std::uint64_t baud = std::max<DWORD>(dcb_.BaudRate, 300);
  const auto onWire = std::chrono::microseconds((std::uint64_t{outputQueued()} + 16) * bitsPerByte *
                                                1'000'000 / baud);
  const auto until = Clock::now() + 2 * onWire + std::chrono::milliseconds(200);
  while (!outputSent() && Clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (!outputSent()) tcflush(fd_, TCOFLUSH);
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
  used_ = true;
  // A UART's driver counts CTS changes only while flow control is on.
  ctsKnown_ = false;
  if (tcsetattr(fd_, TCSANOW, &settings) != 0 && !appliedButFraming(fd_, settings)) {
    return ERROR_INVALID_PARAMETER;
  }
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
    status->fCtsHold = status->cbOutQue > 0 && heldByCts();
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
  // CTS that a test holds off reads off, on a pseudo-terminal too.
  const bool held = ctsHeldByTest();
  if (ioctl(fd_, TIOCMGET, &lines) != 0 && !held) return ERROR_NOT_SUPPORTED;
  if (held) lines &= ~TIOCM_CTS;
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

}  // namespace voren::win32
