#pragma once
// The printer's end of a linked port pair, opened with plain Win32 calls so
// the tests need no second serial implementation. Kept free of <windows.h>,
// which cannot meet the unit's export header in one file.
#include <cstdint>
#include <optional>

namespace voren::test {

class PeerPort {
 public:
  explicit PeerPort(unsigned comNumber);
  ~PeerPort();
  PeerPort(const PeerPort&) = delete;
  PeerPort& operator=(const PeerPort&) = delete;

  bool isOpen() const;
  bool write(uint8_t byte);
  // The next byte, or none within timeoutMs.
  std::optional<uint8_t> read(unsigned timeoutMs);

 private:
  void* handle_;
};

// Port numbers the harness mapped; 0 when the test runs without a pair.
unsigned testPort();
unsigned peerPort();
// The port number the harness gave a regular file; 0 when it gave none.
unsigned filePort();
// Whether the harness runs the tests under Wine.
bool underWine();

// The own process's priority class, 0 when it cannot be read.
unsigned long processPriorityClass();
unsigned long highPriorityClass();
// Puts the own process in the normal class, the one the unit raises from,
// whatever class the test run started in (a run under nice reads as below
// normal), and the starting class back when it goes.
class NormalPriorityClass {
 public:
  NormalPriorityClass();
  ~NormalPriorityClass();
  NormalPriorityClass(const NormalPriorityClass&) = delete;
  NormalPriorityClass& operator=(const NormalPriorityClass&) = delete;

 private:
  unsigned long saved_;
};
unsigned long currentThreadId();

}  // namespace voren::test
