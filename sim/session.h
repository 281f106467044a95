#pragma once
// One run of the simulated printer: pty I/O around the protocol core, with
// pacing, peer-close detection, the exit rules and the outputs.
#include <functional>
#include <string>

#include "sim/options.h"
#include "sim/pty.h"

namespace voren::sim {

// Runs until a stop byte arrives on stopFd (the signal handler's pipe), or
// an exit rule of the options holds. Messages go to report. Returns the
// process exit status.
int runSession(SimOptions options, Pty& pty, int stopFd,
               const std::function<void(const std::string&)>& report);

}  // namespace voren::sim
