#pragma once
// An open comm device: the fd of the tty, its settings as the Win32 API sees
// them, and the transfer engine that runs overlapped reads, writes and event
// waits on one I/O thread per device.
#include <linux/serial.h>
#include <termios.h>

#include <deque>
#include <string>
#include <thread>

#include "platform/win32/posix/win32_events.h"
#include "platform/win32/posix/win32_objects.h"
#include "platform/win32/posix/win32_port_claim.h"

namespace voren::win32 {

// NTSTATUS values kept in OVERLAPPED::Internal, as the Windows kernel does.
inline constexpr ULONG_PTR statusSuccess = 0;
inline constexpr ULONG_PTR statusTimeout = 0x00000102;  // a success code: TRUE, fewer bytes
inline constexpr ULONG_PTR statusPending = STATUS_PENDING;
inline constexpr ULONG_PTR statusCancelled = 0xC0000120;
inline constexpr ULONG_PTR statusDeviceGone = 0xC000009D;  // STATUS_DEVICE_NOT_CONNECTED
inline constexpr ULONG_PTR statusAccessDenied = 0xC0000022;
inline constexpr ULONG_PTR statusUnsuccessful = 0xC0000001;

// The Win32 error GetOverlappedResult reports for a failed status.
DWORD errorOfStatus(ULONG_PTR status);

class CommDevice : public Object {
 public:
  // Opens path exclusively; 0 and the device, or the Win32 error.
  static DWORD open(const std::string& path, DWORD access, bool overlapped,
                    std::shared_ptr<CommDevice>& device);
  ~CommDevice() override;

  void closed() override;
  // A file handle is signalled when a transfer on it ends.
  bool signalled() const override { return completed_; }

  bool overlapped() const { return overlapped_; }
  bool isTerminal() const { return terminal_; }
  DWORD fileType() const { return fileType_; }

  // The comm calls: each returns 0 or the Win32 error to report.
  DWORD getState(DCB& dcb);
  DWORD setState(const DCB& dcb);
  DWORD getTimeouts(COMMTIMEOUTS& timeouts);
  DWORD setTimeouts(const COMMTIMEOUTS& timeouts);
  DWORD setup(DWORD inQueue, DWORD outQueue);
  DWORD purge(DWORD flags);
  DWORD clearError(DWORD* errors, COMSTAT* status);
  DWORD setMask(DWORD mask);
  DWORD getMask(DWORD& mask);
  DWORD escape(DWORD function);
  DWORD modemStatus(DWORD& status);
  void raiseLineError(DWORD ceBits);

  // Transfers: TRUE when done at once, else FALSE with the last error set
  // (ERROR_IO_PENDING while it runs on). The OVERLAPPED record, its event
  // and the buffer must stay valid until the transfer ends.
  BOOL read(void* buffer, DWORD count, DWORD* done, OVERLAPPED& overlapped);
  BOOL write(const void* buffer, DWORD count, DWORD* done, OVERLAPPED& overlapped);
  BOOL waitEvent(DWORD* mask, OVERLAPPED& overlapped);
  // Blocks until the transfer of this record has ended.
  void awaitCompletion(const OVERLAPPED& overlapped);
  // Ends the transfers of this record (all of them with nullptr) with 995.
  bool cancel(const OVERLAPPED* overlapped);

 private:
  enum class Kind { Read, Write, Wait };
  // How a read ends, from the time-outs in force when it starts.
  enum class ReadMode { Normal, Immediate, FirstByte };
  struct Transfer {
    Kind kind;
    OVERLAPPED* overlapped;
    std::shared_ptr<Event> event;
    std::uint8_t* buffer = nullptr;  // what a read fills, what a write sends
    DWORD count = 0;
    DWORD done = 0;         // bytes delivered (read) or handed to the driver (write)
    DWORD* mask = nullptr;  // where a wait puts the events
    DWORD events = 0;
    bool started = false;  // the time-outs run from its start at the head of its queue
    ReadMode mode = ReadMode::Normal;
    Clock::time_point deadline = Clock::time_point::max();
    Clock::duration interval{};  // zero: no limit between two bytes
    Clock::time_point lastByte{};
  };

  CommDevice(int fd, int wakeFd, bool overlapped, bool terminal, DWORD fileType);

  Transfer makeTransfer(Kind kind, OVERLAPPED& overlapped);
  void complete(Transfer& transfer, ULONG_PTR status);
  void finishWith(std::deque<Transfer>& queue, ULONG_PTR status);
  void startIoThread();
  void wakeIoThread();
  void ioLoop();
  // The engine's steps, all under mutex_.
  void pullInput();
  void serve(Clock::time_point now);
  void serveReads(Clock::time_point now);
  void serveWrites(Clock::time_point now);
  void startRead(Transfer& read, Clock::time_point now);
  void startWrite(Transfer& write, Clock::time_point now);
  void pushOutput(Transfer& write);
  void noteEvents(DWORD events);
  BOOL finishCall(const OVERLAPPED& overlapped, DWORD* done);
  void noteLineErrors(DWORD ceBits);
  void checkCounters();
  bool refusing() const;
  DWORD outputQueued() const;
  bool heldByCts() const;
  Clock::time_point nextDeadline(Clock::time_point now) const;
  void hangUp();
  bool outputSent() const;
  void drainOutput();
  void askLowLatency();

  int fd_;  // -1 once closed
  const int wakeFd_;
  const bool overlapped_;
  const bool terminal_;
  const DWORD fileType_;

  mutable std::mutex mutex_;
  std::condition_variable transferEnded_;
  std::thread ioThread_;
  bool closing_ = false;
  bool hungUp_ = false;
  bool outputBlocked_ = false;  // the driver refused bytes: wait for POLLOUT
  bool countersWork_ = false;   // TIOCGICOUNT: UART error and modem-line counters
  bool modemLines_ = false;     // TIOCMGET works: not so on a pseudo-terminal
  // CTS as last read, the driver's count of its changes then, and when
  // (heldByCts).
  mutable bool ctsKnown_ = false;
  mutable bool ctsLow_ = false;
  mutable int ctsCount_ = 0;
  mutable Clock::time_point ctsAsked_{};
  bool used_ = false;  // settings changed or a transfer made
  termios foundSettings_{};
  PortClaim claim_;
  bool clearLowLatency_ = false;  // the driver's low latency mode was ours to set
  DCB dcb_;
  COMMTIMEOUTS timeouts_{};
  std::deque<std::uint8_t> input_;
  std::size_t inputCapacity_ = 4096;
  std::deque<Transfer> reads_;
  std::deque<Transfer> writes_;
  std::deque<Transfer> waits_;  // at most one
  DWORD eventMask_ = 0;
  DWORD eventHistory_ = 0;
  DWORD lineErrors_ = 0;
  serial_icounter_struct counters_{};
  bool completed_ = false;  // guarded by signalMutex()
};

}  // namespace voren::win32
