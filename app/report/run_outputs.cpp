#include "app/report/run_outputs.h"

#include <cstdio>

#include "app/screen_text.h"
#include "app/updater.h"
#include "link/wire_trace.h"
#include "platform/files/standard_output.h"

namespace voren {

std::optional<std::string> traceNotWhole(const std::optional<std::string>& path) {
  if (!path || wireTraceFailure().empty()) return std::nullopt;
  return "trace file '" + *path + "': " + wireTraceFailure();
}

int withOutputsTold(int status, const std::optional<std::string>& trace, TraceLine line) {
  bool whole = true;
  if (const auto why = traceNotWhole(trace)) {
    // Standard error is the operator's screen as often as a log.
    if (line == TraceLine::OnStandardError) {
      std::fprintf(stderr, "voren-cp852: %s\n", screenText(*why).c_str());
    }
    whole = false;
  }
  if (!standardOutputFailure().empty()) {
    std::fprintf(stderr, "voren-cp852: standard output: %s\n", standardOutputFailure().c_str());
    whole = false;
  }
  return status == kUpdated && !whole ? kOutputIncomplete : status;
}

}  // namespace voren
