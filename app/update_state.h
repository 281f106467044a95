#pragma once
// The update procedure's own state: one upload per process, so one record.
// The port number lives with the link's port settings.
#include <cstdint>

namespace voren {

struct UpdateState {
  std::uint32_t blockIndex = 0;    // 0 to 143
  std::uint8_t repeatCounter = 0;  // repeats of the current block so far
  int progressColumn = 1;          // where the percentage starts, on the cursor's row
  bool progressInPlace = true;     // false when the console cannot place the cursor
  int progressShown = 0;           // the last percentage written
};

UpdateState& updateState();
void resetUpdateState();

}  // namespace voren
