#pragma once
// A station that updates several printers at once: one child process of
// this program per port, each running the unattended update of its port
// (app/station/station_child.h), watched over pipes (app/station/station_protocol.h). The
// operator sees a line per port (its name, the percentage, then the end
// report of the single-port run) and a summary.
#include <string>
#include <vector>

#include "app/glyph_table.h"
#include "app/port_identity.h"

namespace voren {

// Updates every port with table; traces holds each port's trace file
// (app/trace_place.h), empty for none. The ports and traces have been
// checked. The screen, or with c.json the events as JSON lines; the summary
// ends with the command that updates the printers left, c's other options
// kept. The exit status: 0 when every printer was updated, 3 when every
// printer was updated but a trace could not be written completely, 1 when
// any update failed or was stopped (Ctrl-C).
int runStation(const CommandLine& c, const std::vector<RunPort>& ports, GlyphTableView table,
               const std::vector<std::string>& traces);

}  // namespace voren
