#pragma once
// One port's update for a station (app/station/station.h), in the child process
// the station started: the glyph table comes over standard input, the
// progress and the report go back as lines of app/station/station_protocol.h, and
// the end of standard input stops the upload between blocks.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/updater.h"

namespace voren {

// The glyph table the station sends before anything else; nothing when its
// input ends first (the station stopped or has gone).
std::optional<std::vector<std::uint8_t>> receiveGlyphTable();

// The unattended update of settings.port, reporting to the station, with
// its JSON events too when the station runs with --json (then a trace not
// written whole is a note among them before the end, as a single port's
// --json has it); the exit status, kUpdateStopped when the station asked
// it to stop.
int updateForStation(UpdateSettings settings, bool json, const std::optional<std::string>& trace);

}  // namespace voren
