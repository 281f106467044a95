#pragma once
// What the printer's commands look like on the wire: how their answers are
// shaped and what their status bytes mean.
#include <cstdint>

#include "link/result_codes.h"

namespace voren {

enum class StatusRule : std::uint8_t {
  Tested,    // nonzero fails by the status table
  Untested,  // any value is fine
  Kept,      // copied to the kept-status byte, then counts as 0
  Sized,     // 229: says how many bytes follow, then kept as above
  AckIsZero  // 160: ACK counts as 0, the rest is tested
};

struct AnswerRules {
  std::uint8_t recordLength = 0;  // list answers of records this long; 0 for none
  bool acknowledged = true;       // the first answer starts with ACK
  StatusRule status = StatusRule::Tested;
};

// The rules of one exchange; selector is send-area byte 258, which picks the
// record length of command 161.
AnswerRules answerRules(std::uint8_t command, std::uint8_t firstLength, std::uint8_t dataCount,
                        std::uint8_t finalLength, std::uint8_t selector);

// The internal error number a tested status byte fails with: the printer's
// error list, each status with its own number; Brak for status 0.
ErrorNumber statusErrorNumber(std::uint8_t status);

// Number of bytes that follow a status of command 229 (250 to 254).
std::uint8_t sizedAnswerLength(std::uint8_t status, std::uint8_t deviceModel);

}  // namespace voren
