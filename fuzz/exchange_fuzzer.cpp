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
#include <set>
#include <vector>

#include "fuzz/answering_port.h"
#include "link/exchange.h"
#include "link/link_state.h"
#include "link/result_codes.h"

namespace {

using voren::fuzz::answeringPort;
using voren::fuzz::AnsweringPort;

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "exchange fuzzer: %s\n", what);
  std::abort();
}

// Every code an exchange may leave, starting from success: success itself
// and the mapping of each internal error number the engine produces.
const std::set<std::uint8_t>& definedCodes() {
  static const std::set<std::uint8_t> codes = [] {
    std::set<std::uint8_t> c{0};
    for (int n : {20, 21, 23, 24, 26}) c.insert(voren::KodBledu(static_cast<std::uint8_t>(n)));
    for (int n = 63; n <= 106; ++n) {
      if (n != 90) c.insert(voren::KodBledu(static_cast<std::uint8_t>(n)));
    }
    return c;
  }();
  return codes;
}

bool keepsStatus(std::uint8_t command) {
  return command == 154 || command == 229 || command == 252;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHeader = 9;
  if (size < kHeader) return 0;
  const std::uint8_t mode = data[0], command = data[1], firstLength = data[2], dataCount = data[3],
                     finalLength = data[4];
  const std::uint8_t staleCode = data[8];

  voren::resetLinkState();
  voren::LinkState& s = voren::linkState();
  for (std::size_t i = 0; i < s.frame.size(); ++i) {
    s.frame[i] = static_cast<std::uint8_t>(i * 131 + 7);
  }
  s.frame[voren::kSendArea] = data[5];
  s.deviceModel = data[6];
  s.resultCode = staleCode;
  const auto before = s.frame;

  AnsweringPort& port = answeringPort();
  port = AnsweringPort{};
  port.answers = data + kHeader;
  port.answersLeft = size - kHeader;
  port.refuseWrite = data[7] == 255 ? SIZE_MAX : data[7];

  voren::WymianaRozkazu(mode, command, firstLength, dataCount, finalLength);

  if (staleCode == 0) {
    require(definedCodes().count(s.resultCode) == 1, "result code outside the defined set");
  } else {
    // A code left from before stops the exchange at its first test; only a
    // port failure replaces it.
    require(s.resultCode == staleCode || s.resultCode == 20 || s.resultCode == 21,
            "stale result code replaced by something other than a port failure");
  }

  require(port.clears == 1 && port.transfersBeforeClear == 0,
          "pending data not discarded once, before anything else");

  // Only the answer area, and the kept status of the commands that keep
  // it, may change; the send area above all stays as the caller filled it.
  for (std::size_t i = 0; i < s.frame.size(); ++i) {
    const bool answer = i >= voren::kAnswerArea && i <= 255;
    const bool kept = i == voren::kKeptStatus && keepsStatus(command);
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
  if (s.resultCode == 0) {
    require(port.written.size() == expected.size(), "success with data left unsent");
  }

  // A refused write or a read that timed out ends the exchange, with its
  // own code whatever the code was before.
  require(port.transfersAfterFailure == 0, "transfers went on after a port failure");
  if (port.readTimedOut) {
    require(s.resultCode == voren::KodBledu(21), "timed-out read not reported as 21");
  } else if (port.failed) {
    require(s.resultCode == voren::KodBledu(20), "refused write not reported as 20");
  }

  // Reads stay within the answers asked for: command 229 sizes its own
  // final answer (at most 43 bytes), status 122 brings two bytes after it.
  std::size_t finalReads = 0;
  if (finalLength > 0) {
    finalReads = command == 229 ? 43 : std::max<std::size_t>(finalLength, 3);
  }
  require(port.reads <= firstLength + finalReads, "more bytes read than the answers hold");
  return 0;
}
