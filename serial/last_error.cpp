#include "serial/last_error.h"

namespace winseria {

LastErrorRecord& lastError() {
  static LastErrorRecord record;
  return record;
}

void RecordError(std::string_view text, int32_t code) {
  auto& r = lastError();
  r.LastErrorText.assign(text);
  r.LastErrorCode = code;
}

void RecordCode(int32_t code) { lastError().LastErrorCode = code; }

void ClearError() { RecordError({}, 0); }

}  // namespace winseria
