#pragma once
// voren-sim's command line.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/fault_plan.h"

namespace voren::sim {

struct SimOptions {
  std::string link;    // symlink to the pty, made at start, removed at exit
  std::string dump;    // the 144 stored blocks in address order, 36,864 bytes
  std::string render;  // a receipt printed with the stored font, as PNG, written with the dump
  unsigned baud = 0;   // 0: no pacing
  FaultPlan faults;
  std::uint64_t hangUpAfter = 0;  // bytes received; 0: never
  bool exitAfterUpdate = false;
  bool exitOnClose = false;
  bool verbose = false;
  unsigned lifetimeSeconds = 0;  // 0: no limit
  unsigned frameGapMs = 2000;    // quiet time that ends a command in progress
  unsigned latencyTimerMs = 0;   // a USB adapter's latency timer on the answers; 0: no adapter
};

struct ParsedOptions {
  std::optional<SimOptions> options;  // empty: help asked for, or an error
  std::string message;                // the error, or the help text
};

ParsedOptions parseOptions(const std::vector<std::string>& arguments);

}  // namespace voren::sim
