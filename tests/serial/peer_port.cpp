#include "tests/serial/peer_port.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/win32/win32.h"

namespace voren::test {
namespace {

unsigned numberFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? static_cast<unsigned>(std::atoi(value)) : 0;
}

// Moves one byte by an overlapped transfer, waited out or cancelled after
// timeoutMs; true when it moved.
bool moveByteWithin(HANDLE h, bool writing, uint8_t* byte, unsigned timeoutMs) {
  OVERLAPPED overlap{};
  overlap.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD moved = 0;
  BOOL done =
      writing ? WriteFile(h, byte, 1, &moved, &overlap) : ReadFile(h, byte, 1, &moved, &overlap);
  if (!done && GetLastError() == ERROR_IO_PENDING) {
    if (WaitForMultipleObjects(1, &overlap.hEvent, FALSE, timeoutMs) != WAIT_OBJECT_0) {
      CancelIoEx(h, &overlap);
    }
    done = GetOverlappedResult(h, &overlap, &moved, TRUE);
  }
  CloseHandle(overlap.hEvent);
  return done && moved == 1;
}

}  // namespace

PeerPort::PeerPort(unsigned comNumber) {
  const std::string name = "\\\\.\\COM" + std::to_string(comNumber);
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  handle_ = h;
  if (h == INVALID_HANDLE_VALUE) return;
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (GetCommState(h, &dcb)) {
    dcb.BaudRate = 38400;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fAbortOnError = FALSE;
    SetCommState(h, &dcb);
  }
  // A read ends after its own wait; the driver holds nothing back.
  COMMTIMEOUTS timeouts{};
  SetCommTimeouts(h, &timeouts);
}

PeerPort::~PeerPort() {
  if (isOpen()) CloseHandle(static_cast<HANDLE>(handle_));
}

bool PeerPort::isOpen() const { return handle_ != INVALID_HANDLE_VALUE; }

bool PeerPort::write(uint8_t byte) {
  return isOpen() && moveByteWithin(static_cast<HANDLE>(handle_), true, &byte, 2000);
}

std::optional<uint8_t> PeerPort::read(unsigned timeoutMs) {
  uint8_t byte = 0;
  if (isOpen() && moveByteWithin(static_cast<HANDLE>(handle_), false, &byte, timeoutMs))
    return byte;
  return std::nullopt;
}

unsigned testPort() { return numberFromEnvironment("VOREN_TEST_PORT"); }
unsigned peerPort() { return numberFromEnvironment("VOREN_TEST_PEER"); }
unsigned filePort() { return numberFromEnvironment("VOREN_TEST_FILE_PORT"); }
bool underWine() { return numberFromEnvironment("VOREN_TEST_UNDER_WINE") != 0; }

unsigned long processPriorityClass() {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId());
  if (process == nullptr) return 0;
  const DWORD priorityClass = GetPriorityClass(process);
  CloseHandle(process);
  return priorityClass;
}

unsigned long highPriorityClass() { return HIGH_PRIORITY_CLASS; }

NormalPriorityClass::NormalPriorityClass() : saved_(GetPriorityClass(GetCurrentProcess())) {
  EXPECT_TRUE(SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS))
      << "the test cannot start from the normal priority class";
}

NormalPriorityClass::~NormalPriorityClass() {
  if (saved_ != 0) SetPriorityClass(GetCurrentProcess(), saved_);
}

unsigned long currentThreadId() { return GetCurrentThreadId(); }

}  // namespace voren::test
