#include "link/command_table.h"

#include "link/printer_protocol.h"

namespace voren {

namespace {

std::uint8_t listRecordLength161(std::uint8_t selector) {
  // A selector with the high bit set has the record length of the plain one.
  switch (selector & 0x7F) {
    case 0:
      return 17;
    case 1:
      return 21;
    case 2:
      return 30;
    case 3:
      return 38;
    case 16:
      return 12;
    default:
      // Unknown selector: no list mark is trusted, the answer is read whole.
      return 0;
  }
}

}  // namespace

AnswerRules answerRules(std::uint8_t command, std::uint8_t firstLength, std::uint8_t dataCount,
                        std::uint8_t finalLength, std::uint8_t selector) {
  switch (command) {
    case 10:
    case 11:
      // Only the plain read of the whole list comes as records.
      if (firstLength == 110 && dataCount == 0 && finalLength == 0) return {.recordLength = 27};
      return {};
    case 17:
    case 49:
    case 114:
    case 249:
      return {.status = StatusRule::Untested};
    case 71:
    case 72:
      return {.recordLength = 13};
    case 144:
    case 148:
    case 149:
    case 150:
    case 155:
    case 157:
    case 159:
      return {.acknowledged = false};
    case 154:
    case 252:
      return {.status = StatusRule::Kept};
    case 160:
      return {.status = StatusRule::AckIsZero};
    case 161:
      return {.recordLength = listRecordLength161(selector)};
    case 162:
    case 163:
    case 165:
      return {.recordLength = 11};
    case 173:
    case 174:
      return {.recordLength = 16};
    case 213:
    case 214:
      return {.recordLength = 29};
    case 229:
      return {.status = StatusRule::Sized};
    case 231:
      return {.recordLength = 4};
    case 233:
    case 238:
      return {.recordLength = 20};
    case 234:
      return {.recordLength = 8};
    default:
      return {};
  }
}

ErrorNumber statusErrorNumber(std::uint8_t status) {
  if (status == kStatusAccepted) return ErrorNumber::Brak;
  return isPrinterError(status) ? numerStatusu(status) : ErrorNumber::NiepoprawnaOdpowiedz;
}

std::uint8_t sizedAnswerLength(std::uint8_t status, std::uint8_t deviceModel) {
  switch (status) {
    case 250:
      return deviceModel == 24 || deviceModel == 27 ? 38 : 42;
    case 251:
      return 17;
    case 252:
      return 8;
    default:
      return 0;
  }
}

}  // namespace voren
