#include "link/exchange.h"

#include "link/command_table.h"
#include "link/link_state.h"
#include "link/port_setup.h"
#include "link/printer_protocol.h"
#include "link/result_codes.h"
#include "link/wire_trace.h"

namespace voren {

namespace {

// Command 229's status says how many bytes follow it.
constexpr std::uint8_t kFirstSizedStatus = 250;
constexpr std::uint8_t kLastSizedStatus = 254;

bool succeeding() { return linkState().resultCode == KodBledu(ErrorNumber::Brak); }

void fail(ErrorNumber numer) { linkState().resultCode = KodBledu(numer); }

ErrorNumber refusalNumber(std::uint8_t mode, std::uint8_t answer) {
  if (answer == kNak) return ErrorNumber::NakNaSekwencje;
  if (mode == 0) {
    switch (answer) {
      case 1:
      case 101:
        return numerStatusu(answer);  // a status of the printer's own
      case 200:
        return ErrorNumber::OdmowaSekwencji;
      default:
        break;
    }
  }
  return ErrorNumber::NiepoprawnaOdpowiedz;
}

}  // namespace

void WyslanieBajtu(std::uint8_t value) { ZapisDoPortu(value); }

std::uint8_t OdczytanieBajtu() {
  const std::uint8_t byte = OdczytZPortu();
  if (linkState().portError) fail(ErrorNumber::Odbieranie);
  return byte;
}

bool readRest(unsigned n, std::uint8_t recordLength) {
  auto& frame = linkState().frame;
  for (unsigned i = kAnswerArea; i <= n; ++i) {
    frame[i] = OdczytanieBajtu();
    if (!succeeding()) return false;
    // Records are laid from kAnswerArea on; only a record's first byte can
    // be the mark, and with 1-byte records every byte is one.
    const bool recordStart = recordLength != 0 && (i - kAnswerArea) % recordLength == 0;
    if (recordStart && frame[i] == kListEnd) break;
  }
  return true;
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
    if (s.portError) return fail(ErrorNumber::Nadawanie);
    WyslanieBajtu(command);
    if (s.portError) return fail(ErrorNumber::Nadawanie);
  }

  if (firstLength > 0) {
    s.frame[kAnswerArea] = OdczytanieBajtu();
    if (!succeeding()) return;
    if (rules.acknowledged && s.frame[kAnswerArea] != kAck) {
      return fail(refusalNumber(mode, s.frame[kAnswerArea]));
    }
    if (firstLength > 1 && !readRest(firstLength, rules.recordLength)) return;
  }

  if (!WyslanoDane(dataCount)) return fail(ErrorNumber::Nadawanie);

  if (finalLength == 0) return;
  std::uint8_t& status = s.frame[kAnswerArea];
  status = OdczytanieBajtu();
  if (!succeeding()) return;

  switch (rules.status) {
    case StatusRule::Sized:
      if (status < kFirstSizedStatus || status > kLastSizedStatus)
        return fail(ErrorNumber::NiepoprawnaOdpowiedz);
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
    fail(statusErrorNumber(status));
    // This status brings two more bytes; take them in whole so the caller
    // has them at indices 2 and 3.
    if (status == kStatusWithTail) {
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
