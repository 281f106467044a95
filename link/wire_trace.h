#pragma once
// A record of every byte the link moves, for whoever has to see the wire:
// one text line per run of bytes in one direction. Off unless started; the
// port calls then pay one test of a flag per byte.
//
//   # one comment line naming the fields
//   1502 out 1B 01 code 0     microseconds since the start, direction,
//   1780 in 06 code 0         bytes in hex, the link's result code when the
//                             run ended (0: no failure so far)
//   3004410 in -- code 21 no byte (failed or timed out) after 3000102 us
//   # answers 432, wait median 16110 us, largest 17020 us
//
// The last line sums up the answers' wait (link/answer_waits.h) since the
// port was opened: how long an adapter between here and the printer held
// them; "# answers 0" alone when none came.
// A run ends when the direction changes, at ClearPort, at the end of an
// exchange and at a failed call, which gets a line of its own.
#include <chrono>
#include <cstdint>
#include <string>

namespace voren {

enum class WireDirection { Out, In };

// Replaces the file at path and records into it from now on; false when it
// cannot be created (wireTraceFailure says why).
bool startWireTrace(const std::string& path);
// Writes what is pending and closes the file; nothing when not started.
void stopWireTrace();
// Why the trace is not whole, from the first write, flush or close that
// failed ("no space left on device"); empty while it is. A failing trace
// stops recording and never stops the wire it watches.
const std::string& wireTraceFailure();

// For the port calls: the time a byte's call began (zero when off), then
// the byte, the call's result and that time.
std::chrono::steady_clock::time_point wireTraceMark();
void wireTraceByte(WireDirection direction, std::uint8_t byte, std::int32_t result,
                   std::chrono::steady_clock::time_point began);
// Ends the current run: an exchange ends, or the port's pending data is
// being discarded.
void wireTraceBreak();

}  // namespace voren
