#pragma once
// What a run writes besides the printer: the wire trace (--trace) and its
// report on standard output (the screen, or --json). Neither stops an
// upload once begun, whatever breaks it (a reader that closes, a full
// disk); after the end one line each on standard error says which is not
// whole, and an update that succeeded ends with kOutputIncomplete.
#include <optional>
#include <string>

namespace voren {

// Why the trace at path is not whole, named as given ("trace file
// 'wire.txt': not written completely: no space left on device"); nothing
// while it is, or when there is none. Call after stopWireTrace: the last
// write comes then.
std::optional<std::string> traceNotWhole(const std::optional<std::string>& path);

// Where the trace's line goes: on standard error, shown as a screen may
// show it; or nowhere more, when the run's events alone are read and have
// told it with the name as given (a station's copy with --json, whose
// standard error is its station's pipe).
enum class TraceLine { OnStandardError, InEventsAlone };

// After the end report: the line for the trace at path and the one for
// standard output, each only when that output is not whole; the status
// the run ends with, which is status unless the update succeeded.
int withOutputsTold(int status, const std::optional<std::string>& trace, TraceLine line);

}  // namespace voren
