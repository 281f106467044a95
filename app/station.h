#pragma once
// A station that updates several printers at once: one child process of
// this program per port, each running the unattended update of its port
// (app/station_child.h), watched over pipes (app/station_protocol.h). The
// operator sees a line per port (its name, the percentage, then the end
// report of the single-port run) and a summary.
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/glyph_table.h"
#include "app/trace_place.h"

namespace voren {

// The trace file of one port when several are traced: the port's name
// (its last path part for a device) before the extension, in the same
// folder: wire.txt and COM3 give wire-COM3.txt, /dev/ttyUSB0 wire-ttyUSB0.txt.
std::string stationTraceFile(const std::string& trace, const std::string& portName);

// How the texts name a port: "COM3", or the device as given.
std::string portName(const PortArgument& port);

// Updates every port of c with table; a trace per port when c has one,
// each place checked (font: the file the table came from) before any child
// starts; the screen, or with c.json the events as JSON lines. The exit
// status: 0 when every printer was updated, 3 when every printer was
// updated but a trace could not be written completely, 1 when any update
// failed or was stopped (Ctrl-C), 2 when a trace is refused.
int runStation(const CommandLine& c, GlyphTableView table, const std::optional<FontInUse>& font);

}  // namespace voren
