#pragma once
// Test hook: makes chosen calls of the Win32 subset fail with a chosen error,
// and raises line errors on an open comm device, so tests can reach the serial
// unit's failure paths. Only our POSIX emulation can do this; on Windows
// available() is false and tests that need it skip.
namespace voren::faults {

enum class Call {
  CreateFileA,
  GetFileType,
  CloseHandle,
  GetCommState,
  SetCommState,
  GetCommTimeouts,
  SetCommTimeouts,
  SetupComm,
  PurgeComm,
  ClearCommError,
  SetCommMask,
  WaitCommEvent,
  EscapeCommFunction,
  GetCommModemStatus,
  CreateEventA,
  SetEvent,
  ResetEvent,
  WaitForMultipleObjects,
  ReadFile,
  WriteFile,
  GetOverlappedResult,
  CreateThread,
  OpenProcess,
  SetPriorityClass,
};

bool available();
// After `skip` calls that go through, the next `count` calls of `call` (from
// any thread) fail with last-error `error`.
void failCall(Call call, unsigned long error, int count = 1, int skip = 0);
// Forget every planned failure.
void reset();
// The UART of the open comm device reports these CE_ bits: with
// fAbortOnError set, pending transfers end with 995 and later ones are refused
// until ClearCommError, which hands the bits out; EV_ERR is signalled
// (EV_BREAK for CE_BREAK, as a UART reports a break).
void raiseLineError(unsigned long ceBits);
// While held, open comm devices find CTS off, as when the far end stops their
// output: with fOutxCtsFlow writes wait for it (a pseudo-terminal has no CTS).
void holdCts(bool held);

}  // namespace voren::faults
