#pragma once
// The serial unit's exported port functions as the device link calls them,
// answered by a printer double in memory instead of a port: the scripted
// printer of the link and app tests, the benchmark's printer, the fuzzer's
// answering port. No GoogleTest here: the fuzzers and benchmarks link it.
#include <cstdint>
#include <optional>

namespace voren::test {

// What stands behind the port functions. Beyond the byte transfers the
// defaults are a port that is there, opens and takes any parity.
class PrinterDouble {
 public:
  virtual ~PrinterDouble() = default;

  // SerialPortPresent: 0 when the port is there to be opened, else the
  // platform's error of the probe (2 no such port, 5 another program holds it).
  virtual std::uint32_t probe(std::uint32_t /*port*/) { return 0; }
  virtual void setCts(std::uint32_t /*on*/) {}
  // 0, or the error InitializePort answers.
  virtual std::int32_t open(std::uint32_t /*port*/, std::uint32_t /*speed*/,
                            std::uint32_t /*writeSeconds*/, std::uint32_t /*readSeconds*/) {
    return 0;
  }
  virtual void close() {}
  virtual bool changeParity(std::uint32_t /*parity*/) { return true; }
  // After a probe of port that failed with 5: true when the system refused
  // the user, false when another program holds the port.
  virtual bool deniedForPermission(std::uint32_t /*port*/) { return false; }
  // The open port's modem lines (MS_ bits); nothing when it cannot tell.
  virtual std::optional<std::uint32_t> modemStatus() { return std::nullopt; }
  // The platform error the serial unit recorded for the last failed
  // transfer, as IsError hands it out (0: none).
  virtual std::int32_t transferError() { return 0; }

  // ClearPort: what is pending either way is dropped.
  virtual void clear() = 0;
  // True when the byte went out.
  virtual bool write(std::uint8_t byte) = 0;
  // Nothing when the read failed or timed out.
  virtual std::optional<std::uint8_t> read() = 0;
};

// The port functions answer through printer from now on.
void plugIn(PrinterDouble& printer);

}  // namespace voren::test
