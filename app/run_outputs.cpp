#include "app/run_outputs.h"

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

int withOutputsTold(int status, const std::optional<std::string>& trace, ErrorReader reader) {
  bool whole = true;
  if (const auto why = traceNotWhole(trace)) {
    const std::string line = reader == ErrorReader::Screen ? screenText(*why) : *why;
    std::fprintf(stderr, "voren-cp852: %s\n", line.c_str());
    whole = false;
  }
  if (!standardOutputFailure().empty()) {
    std::fprintf(stderr, "voren-cp852: standard output: %s\n", standardOutputFailure().c_str());
    whole = false;
  }
  return status == kUpdated && !whole ? kOutputIncomplete : status;
}

}  // namespace voren
