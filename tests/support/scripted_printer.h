#pragma once
// A test double of the serial unit's exported functions (through
// port_functions.h): a printer at the end of a perfect wire that checks
// every byte written and answers as told.
// Either it plays a script (expected bytes, replies, write failures, read
// time-outs), or it follows the block upload protocol (PrinterModel).
// It keeps a transcript of the wire and a log of the other port calls.
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/com_ports.h"
#include "tests/support/port_functions.h"
#include "tests/support/printer_model.h"

namespace voren::test {

class ScriptedPrinter : public PrinterDouble {
 public:
  // A fresh machine: COM1 to COM9 present, no other port, opening succeeds,
  // port closed, nothing scripted, no model.
  void reset();

  // --- What the port functions answer; comPortsPresent() lists the present
  // ports by number, then the devices without one.
  std::set<std::uint32_t> presentPorts{1, 2, 3, 4, 5, 6, 7, 8, 9};
  std::vector<std::string> unnumberedPorts;
  // What the system knows of the devices behind present ports.
  std::map<std::uint32_t, PortDescription> portDescriptions;
  // Present ports whose probe fails all the same, with this platform error
  // (5: another program holds the port).
  std::map<std::uint32_t, std::uint32_t> probeErrors;
  // Ports whose probe's 5 is the system refusing the user, not a holder.
  std::set<std::uint32_t> deniedPorts;
  std::int32_t initializeResult = 0;
  bool parityResult = true;
  // Counting every byte written from reset(), the one with this index fails.
  std::optional<std::size_t> failWriteAt;
  // The open port's modem lines (MS_ bits); nothing: it cannot tell.
  std::optional<std::uint32_t> modemLines;
  // What the serial unit records for a failed transfer (IsError's number);
  // with unplugs, the failure also takes the open port out of presentPorts.
  std::int32_t failureError = 0;
  bool unplugs = false;

  // --- Script: steps are played in order.
  ScriptedPrinter& expect(const std::vector<std::uint8_t>& bytes);
  ScriptedPrinter& reply(const std::vector<std::uint8_t>& bytes);
  ScriptedPrinter& failWrite();  // the next write is refused
  ScriptedPrinter& silence();    // the next read times out
  bool scriptDone() const { return script_.empty(); }

  // --- The protocol-following printer instead of a script.
  PrinterModel& followProtocol();
  PrinterModel* model() { return model_ ? &*model_ : nullptr; }

  // Wire transcript, space separated: "clear" for ClearPort, ">1b01" bytes
  // written, "<06" bytes read, ">!" a refused write, "<!" a read time-out.
  const std::string& transcript() const { return transcript_; }
  // Every byte that went out, in order.
  const std::vector<std::uint8_t>& written() const { return written_; }
  // The other port calls with their arguments: "InitializePort(3,38400,3,3)".
  const std::vector<std::string>& calls() const { return calls_; }
  bool portOpen() const { return open_; }

  // The port functions' calls.
  std::uint32_t probe(std::uint32_t port) override;
  void setCts(std::uint32_t on) override;
  std::int32_t open(std::uint32_t port, std::uint32_t speed, std::uint32_t writeSeconds,
                    std::uint32_t readSeconds) override;
  void close() override;
  bool changeParity(std::uint32_t parity) override;
  bool deniedForPermission(std::uint32_t port) override { return deniedPorts.count(port) != 0; }
  std::optional<std::uint32_t> modemStatus() override { return modemLines; }
  std::int32_t transferError() override;
  void clear() override;
  bool write(std::uint8_t byte) override;
  std::optional<std::uint8_t> read() override;

 private:
  struct Step {
    enum class Kind { Expect, Reply, FailWrite, Silence } kind;
    std::uint8_t byte = 0;
  };

  void note(char direction, const std::string& what);
  void failed();
  void logCall(const char* name, std::initializer_list<std::uint32_t> args = {});

  std::deque<Step> script_;
  std::optional<PrinterModel> model_;
  std::deque<std::uint8_t> replies_;
  std::string transcript_;
  char run_ = 0;  // direction of the byte run the transcript ends with
  std::vector<std::uint8_t> written_;
  std::size_t writeCount_ = 0;
  std::vector<std::string> calls_;
  bool open_ = false;
  std::uint32_t openPort_ = 0;
  bool transferFailed_ = false;  // since the last IsError
};

// The one printer behind the port functions; asking for it plugs it in.
ScriptedPrinter& scriptedPrinter();

}  // namespace voren::test
