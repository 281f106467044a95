#pragma once
// TComm, the port object: one COM device, its line settings, queue sizes and
// time-outs, the overlapped transfer engines and the connection that runs the
// event and transfer workers and raises the process priority class.
#include <cstdint>
#include <memory>
#include <string>

#include "platform/win32/win32.h"

namespace winseria {

class TZdarzeniaCommThread;
class TZapisOdczytThread;

class TComm {
 public:
  TComm();
  virtual ~TComm();
  TComm(const TComm&) = delete;
  TComm& operator=(const TComm&) = delete;

  // Configuration.
  DWORD SetParameters(uint8_t port, DWORD speed, uint16_t writeSeconds, uint16_t readSeconds);
  bool IsOpen() const { return Handle != INVALID_HANDLE_VALUE; }
  virtual DWORD Open();
  void CloseDevice();
  DWORD ApplyState();
  void ApplyFlowControl(DCB& dcb) const;
  DWORD ApplyTimeouts(uint16_t writeSeconds, uint16_t readSeconds);
  DWORD PurgeOutput();
  DWORD PurgeInput();
  HANDLE GetHandle() const { return Handle; }
  virtual void HandleEvent(DWORD event);

  // Transfer engines, run on the transfer worker.
  DWORD WriteData(const uint8_t* buffer);
  DWORD ReadData(uint8_t* buffer, DWORD count);

  // Connection.
  DWORD Connect();
  DWORD Disconnect();
  void OnCommEvent(TZdarzeniaCommThread* worker, DWORD eventMask);

  HANDLE Handle = INVALID_HANDLE_VALUE;
  OVERLAPPED WriteOverlap{};
  OVERLAPPED ReadOverlap{};
  DCB Dcb{};
  COMSTAT LineStatus{};
  std::string PortName = "Comm2";
  COMMTIMEOUTS SavedTimeouts{};
  COMMTIMEOUTS Timeouts{};
  std::unique_ptr<TZdarzeniaCommThread> EventThread;
  std::unique_ptr<TZapisOdczytThread> TransferThread;
  uint16_t EventSet = 0x01FF;
  DWORD LineErrors = 0;
  DWORD BaudRate = 0;
  int32_t Parity;  // from ParitySetting at creation
  int32_t StopBits = 0;
  int32_t ByteSize = 8;
  int32_t InQueueSize = 4096;
  int32_t OutQueueSize = 2048;
  uint16_t WriteTimeout = 0;
  uint16_t ReadTimeout = 0;
};

// Event kinds of EventSet, bit i standing for row i, as platform event values.
inline constexpr DWORD kEventKinds[9] = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                         EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

// The common end of both engines, on every way out: records whether a byte
// moved and signals the caller. Returns the number of bytes moved.
DWORD EndTransfer(DWORD moved);

// An overlapped I/O nobody waits for any more is cancelled and waited out,
// so its completion never writes into storage that is about to go.
void AbandonIo(HANDLE device, OVERLAPPED& overlap);

// The process priority class, raised while a connection is open. Raise saves
// the current class and raises idle or normal to high; Restore puts back the
// saved class, when one was saved and it changed since or cannot be read.
void RaisePriorityClass();
void RestorePriorityClass();

}  // namespace winseria
