#pragma once
// The unit's last-error record: the text and number of the latest failure of
// a port operation. Each record replaces the one before; IsError hands it out.
#include <cstdint>
#include <string>
#include <string_view>

namespace winseria {

struct LastErrorRecord {
  std::string LastErrorText;  // code page 1250
  int32_t LastErrorCode = 0;
};

LastErrorRecord& lastError();

void RecordError(std::string_view text, int32_t code);
// A few steps leave the text and store only a number.
void RecordCode(int32_t code);
void ClearError();

}  // namespace winseria
