#pragma once
// The serial unit's port functions as a printer that answers whatever the
// fuzzer says: each byte read is the next byte of the answer stream, a read
// past its end times out, and one chosen write can be refused.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace voren::fuzz {

struct AnsweringPort {
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
};

// The one port behind the functions; reset by assigning a fresh record.
AnsweringPort& answeringPort();

}  // namespace voren::fuzz
