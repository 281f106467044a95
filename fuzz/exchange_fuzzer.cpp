// The exchange engine against a printer that answers arbitrary bytes, with
// any mode, command, lengths, list selector and device model, and with a
// refused write or a stale result code now and then. The input is a 9-byte
// header followed by the printer's answer stream:
//   mode, command, firstLength, dataCount, finalLength, selector (send-area
//   byte 258), device model, index of the refused write (255: none), result
//   code left from before (normally 0).
// Built with ASan, UBSan and checked std::array indexing, so any access
// outside the frame buffer aborts as well as the checks below.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <vector>

#include "link/command_table.h"
#include "link/exchange.h"
#include "link/link_state.h"
#include "link/printer_protocol.h"
#include "link/result_codes.h"
#include "tests/support/port_functions.h"

namespace {

using voren::ErrorNumber;
using voren::KodBledu;
using voren::ResultCode;

// A printer that answers whatever the fuzzer says: each byte read is the
// next byte of the answer stream, a read past its end times out, and one
// chosen write can be refused. It counts what the exchange did.
struct AnsweringPort : voren::test::PrinterDouble {
  const std::uint8_t* answers = nullptr;
  std::size_t answersLeft = 0;
  // Counting writes from 0, this one is refused; none when out of reach.
  std::size_t refuseWrite = SIZE_MAX;

  // Bytes that went out, and every write asked for (refused ones too).
  std::vector<std::uint8_t> written;
  std::size_t writes = 0;
  std::size_t reads = 0;
  std::size_t clears = 0;
  // Writes and reads seen before the first ClearPort; an exchange must
  // start by discarding what is pending.
  std::size_t transfersBeforeClear = 0;
  // Set by a refused write or a read that timed out; what comes after it.
  bool failed = false;
  bool readTimedOut = false;
  std::size_t transfersAfterFailure = 0;

  void clear() override { ++clears; }

  bool write(std::uint8_t byte) override {
    noteTransfer();
    if (writes++ == refuseWrite) {
      failed = true;
      return false;
    }
    written.push_back(byte);
    return true;
  }

  std::optional<std::uint8_t> read() override {
    noteTransfer();
    ++reads;
    if (answersLeft == 0) {
      failed = readTimedOut = true;
      return std::nullopt;
    }
    --answersLeft;
    return *answers++;
  }

 private:
  void noteTransfer() {
    if (clears == 0) ++transfersBeforeClear;
    if (failed) ++transfersAfterFailure;
  }
};

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "exchange fuzzer: %s\n", what);
  std::abort();
}

// Every code an exchange may leave, starting from success: success itself
// and the mapping of each internal error number the engine produces.
const std::set<ResultCode>& definedCodes() {
  static const std::set<ResultCode> codes = [] {
    std::set<ResultCode> c{KodBledu(ErrorNumber::Brak)};
    for (int n : {20, 21, 23, 24, 26}) c.insert(KodBledu(ErrorNumber(n)));
    for (int n = 63; n <= 106; ++n) {
      if (n != 90) c.insert(KodBledu(ErrorNumber(n)));
    }
    return c;
  }();
  return codes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeader = 9;
  if (size < kHeader) return 0;
  const std::uint8_t mode = data[0], command = data[1], firstLength = data[2], dataCount = data[3],
                     finalLength = data[4];
  const ResultCode staleCode = ResultCode(data[8]);
  const ResultCode success = KodBledu(ErrorNumber::Brak);

  voren::resetLinkState();
  voren::LinkState& s = voren::linkState();
  for (std::size_t i = 0; i < s.frame.size(); ++i) {
    s.frame[i] = static_cast<std::uint8_t>(i * 131 + 7);
  }
  s.frame[voren::kSendArea] = data[5];
  s.deviceModel = data[6];
  s.resultCode = staleCode;
  const auto before = s.frame;

  AnsweringPort port;
  voren::test::plugIn(port);
  port.answers = data + kHeader;
  port.answersLeft = size - kHeader;
  port.refuseWrite = data[7] == 255 ? SIZE_MAX : data[7];

  voren::WymianaRozkazu(mode, command, firstLength, dataCount, finalLength);

  if (staleCode == success) {
    require(definedCodes().count(s.resultCode) == 1, "result code outside the defined set");
  } else {
    // A code left from before stops the exchange at its first test; only a
    // port failure replaces it.
    require(s.resultCode == staleCode || s.resultCode == KodBledu(ErrorNumber::Nadawanie) ||
                s.resultCode == KodBledu(ErrorNumber::Odbieranie),
            "stale result code replaced by something other than a port failure");
  }

  require(port.clears == 1 && port.transfersBeforeClear == 0,
          "pending data not discarded once, before anything else");

  // Only the answer area, and the kept status of the commands that keep
  // it, may change; the send area above all stays as the caller filled it.
  const auto rule = voren::answerRules(command, firstLength, dataCount, finalLength, data[5]);
  const bool keepsStatus =
      rule.status == voren::StatusRule::Kept || rule.status == voren::StatusRule::Sized;
  for (std::size_t i = 0; i < s.frame.size(); ++i) {
    const bool answer = i >= voren::kAnswerArea && i <= 255;
    const bool kept = i == voren::kKeptStatus && keepsStatus;
    if (!answer && !kept) require(s.frame[i] == before[i], "frame changed outside the answer area");
  }

  // What went out is the control sequence (not in a continuation) and then
  // the send area in order, cut short only by a failure.
  std::vector<std::uint8_t> expected;
  if (mode != 2) expected = {voren::kEsc, command};
  expected.insert(expected.end(), before.begin() + voren::kSendArea,
                  before.begin() + voren::kSendArea + dataCount);
  require(port.written.size() <= expected.size() &&
              std::equal(port.written.begin(), port.written.end(), expected.begin()),
          "bytes written are not the control sequence and the send area in order");
  if (s.resultCode == success) {
    require(port.written.size() == expected.size(), "success with data left unsent");
  }

  // A refused write or a read that timed out ends the exchange, with its
  // own code whatever the code was before.
  require(port.transfersAfterFailure == 0, "transfers went on after a port failure");
  if (port.readTimedOut) {
    require(s.resultCode == KodBledu(ErrorNumber::Odbieranie), "timed-out read not reported as 21");
  } else if (port.failed) {
    require(s.resultCode == KodBledu(ErrorNumber::Nadawanie), "refused write not reported as 20");
  }

  // Reads stay within the answers asked for: command 229 sizes its own
  // final answer (at most 43 bytes), status 122 brings two bytes after it.
  std::size_t finalReads = 0;
  if (finalLength > 0) {
    finalReads =
        rule.status == voren::StatusRule::Sized ? 43 : std::max<std::size_t>(finalLength, 3);
  }
  require(port.reads <= firstLength + finalReads, "more bytes read than the answers hold");
  return 0;
}
