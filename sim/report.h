#pragma once
// What the simulated printer leaves behind: the summary line and the dump.
#include <cstdint>
#include <span>
#include <string>

#include "sim/printer.h"

namespace voren::sim {

std::string summaryLine(const PrinterStats& stats);
// Writes the bytes to path through a temporary file, so a reader never sees
// half a dump. False (and *error) when it cannot.
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* error);

}  // namespace voren::sim
