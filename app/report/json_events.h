#pragma once
// The run as a script reads it: with --json the program writes one JSON
// object a line on standard output, one for each event of the run, in place
// of the screen. Every event names itself in "event"; the keys are stable
// and documented in docs/json.md and docs/json-events.schema.json, which
// change with this file.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/station/station_view.h"
#include "app/updater.h"
#include "platform/win32/com_ports.h"

namespace voren {

struct StationSummary {
  int updated = 0;
  std::vector<std::string> notUpdated;  // the ports' names, in the order given
  int status = 0;                       // the exit status
  std::string rerun;                    // the command for the ports not updated; empty if none
};

// Each event as its line, without the line end. Texts that are not UTF-8
// (a device path in another encoding) have their stray bytes replaced.
std::string startEvent(const std::vector<std::string>& ports,
                       const std::optional<std::string>& fontFile);
std::string portOpenedEvent(std::string_view port);
std::string portRefusedEvent(std::string_view port, PortRefusal why, std::string_view text);
std::string progressEvent(std::string_view port, std::uint32_t block, int percent);
std::string repeatEvent(std::string_view port, std::uint32_t block, std::uint8_t status);
std::string endEvent(std::string_view port, const PortEnd& end);
// A line a port's child wrote on standard error.
std::string noteEvent(std::string_view port, std::string_view text);
std::string summaryEvent(const StationSummary& summary, int ports);
// One line of --list --json.
std::string listedPort(const ComPort& port);

// Whether line is one event object, as a child's line must be to be passed on.
bool isEventObject(std::string_view line);

// Writes the line and its line end to standard output at once: a fleet
// tool may be reading as the update runs. A line that cannot be written
// whole stops no upload: the run ends by saying so
// (platform/files/standard_output.h).
void writeJsonLine(const std::string& line);

// An end event as endEvent wrote it (its outputIncomplete is not in it);
// nothing for any other line.
std::optional<PortEnd> readEndEvent(std::string_view line);

}  // namespace voren
