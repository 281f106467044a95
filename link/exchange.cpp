#include "link/exchange.h"

#include "link/command_table.h"
#include "link/link_state.h"
#include "link/port_setup.h"
#include "link/result_codes.h"
#include "link/wire_trace.h"

namespace voren {

namespace {

// Internal error number of status 122, which comes with two bytes after it.
constexpr std::uint8_t kStatusWithTail = 97;

bool succeeding() { return linkState().resultCode == KodBledu(blad::kBrak); }

void fail(std::uint8_t numer) { linkState().resultCode = KodBledu(numer); }

// Reads the bytes after an answer's leading byte into index 2 onward, up to
// index n, or to a record that starts with the list end mark. False when a
// read failed or the result code is no longer success.
bool readRest(unsigned n, std::uint8_t recordLength) {
  auto& frame = linkState().frame;
  for (unsigned i = kAnswerArea; i <= n; ++i) {
    frame[i] = OdczytanieBajtu();
    if (!succeeding()) return false;
    if (recordLength != 0 && frame[i] == kListEnd && (i - 1) % recordLength == 1) break;
  }
  return true;
}

std::uint8_t refusalNumber(std::uint8_t mode, std::uint8_t answer) {
  if (answer == kNak) return blad::kNak;
  if (mode == 0) {
    switch (answer) {
      case 1:
        return 63;
      case 101:
        return 81;
      case 200:
        return 26;
      default:
        break;
    }
  }
  return blad::kNiepoprawnaOdpowiedz;
}

}  // namespace

void WyslanieBajtu(std::uint8_t value) { ZapisDoPortu(value); }

std::uint8_t OdczytanieBajtu() {
  const std::uint8_t byte = OdczytZPortu();
  if (linkState().portError) fail(blad::kOdbieranie);
  return byte;
}

std::uint8_t WyslanoDane(std::uint8_t count) {
  LinkState& s = linkState();
  for (unsigned k = 0; k < count; ++k) {
    WyslanieBajtu(s.frame[kSendArea + k]);
    if (s.portError) return 0;
  }
  return 1;
}

namespace {

// The exchange itself; it ends at its first failure.
void exchange(std::uint8_t mode, std::uint8_t command, std::uint8_t firstLength,
              std::uint8_t dataCount, std::uint8_t finalLength) {
  LinkState& s = linkState();
  const AnswerRules rules =
      answerRules(command, firstLength, dataCount, finalLength, s.frame[kSendArea]);

  // Whatever an earlier exchange left unread must not pass for an answer.
  CzyszczeniePortu();

  if (mode != 2) {
    WyslanieBajtu(kEsc);
    if (s.portError) return fail(blad::kNadawanie);
    WyslanieBajtu(command);
    if (s.portError) return fail(blad::kNadawanie);
  }

  if (firstLength > 0) {
    s.frame[kAnswerArea] = OdczytanieBajtu();
    if (!succeeding()) return;
    if (rules.acknowledged && s.frame[kAnswerArea] != kAck) {
      return fail(refusalNumber(mode, s.frame[kAnswerArea]));
    }
    if (firstLength > 1 && !readRest(firstLength, rules.recordLength)) return;
  }

  if (!WyslanoDane(dataCount)) return fail(blad::kNadawanie);

  if (finalLength == 0) return;
  std::uint8_t& status = s.frame[kAnswerArea];
  status = OdczytanieBajtu();
  if (!succeeding()) return;

  switch (rules.status) {
    case StatusRule::Sized:
      if (status < 250 || status > 254) return fail(blad::kNiepoprawnaOdpowiedz);
      finalLength = sizedAnswerLength(status, s.deviceModel) + 1;
      s.frame[kKeptStatus] = status;
      status = 0;
      break;
    case StatusRule::Kept:
      s.frame[kKeptStatus] = status;
      status = 0;
      break;
    case StatusRule::AckIsZero:
      if (status == kAck) status = 0;
      break;
    case StatusRule::Tested:
    case StatusRule::Untested:
      break;
  }

  if (rules.status != StatusRule::Untested && status != 0) {
    const std::uint8_t numer = statusErrorNumber(status);
    fail(numer);
    // The printer sends two more bytes after this status; take them in
    // whole so the caller has them at indices 2 and 3.
    if (numer == kStatusWithTail) {
      s.frame[kAnswerArea] = OdczytanieBajtu();
      if (!s.portError) s.frame[kAnswerArea + 1] = OdczytanieBajtu();
    }
    return;
  }

  if (finalLength > 1) readRest(finalLength, rules.recordLength);
}

}  // namespace

void WymianaRozkazu(std::uint8_t mode, std::uint8_t command, std::uint8_t firstLength,
                    std::uint8_t dataCount, std::uint8_t finalLength) {
  exchange(mode, command, firstLength, dataCount, finalLength);
  // The trace's line ends with the exchange, while the result code is its own.
  wireTraceBreak();
}

void WykonanieRozkazu(std::uint8_t command, std::uint8_t firstLength, std::uint8_t dataCount,
                      std::uint8_t finalLength) {
  WymianaRozkazu(0, command, firstLength, dataCount, finalLength);
}

}  // namespace voren
