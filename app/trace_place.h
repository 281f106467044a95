#pragma once
// Where the wire trace is to go, checked before the port is opened and
// before any child of a station starts: a trace replaces the file it is
// written to, so it must not take the font, a port of the run or the
// program's own output, hang on a named pipe or fail only once the upload
// has begun. One rule for one port and for several.
#include <optional>
#include <string>
#include <vector>

#include "app/port_identity.h"
#include "platform/files/files.h"

namespace voren {

// The font the trace must not replace, when the operator brought one.
struct FontInUse {
  std::string path;
  FileIdentity identity;
};

// The trace file of one port when several are traced: the port's name as
// given (its last path part for a device) before the extension, in the same
// folder: wire.txt and COM3 give wire-COM3.txt, /dev/ttyUSB0 wire-ttyUSB0.txt.
// Every byte of the name is kept, UTF-8 letters and all, so that two ports
// whose names differ get two files, but a control byte, which would drive
// the terminal that lists the folder, is written %XX (ESC as %1B).
std::string stationTraceFile(const std::string& trace, const std::string& portName);

// Empty when a trace may go to path; otherwise one line naming the file and
// the reason: "trace file 'x': a named pipe". A regular file (new or old)
// and a character device such as /dev/null may take it.
std::string tracePlaceRefusal(const std::string& path, const std::vector<RunPort>& ports,
                              const std::optional<FontInUse>& font);

// The file each port's trace goes to, in the order of ports (one for a run
// whose port the dialogue asks): the name given is checked as above; a
// device given is taken by every port as it is (all to /dev/null), never as
// the start of new names; otherwise each port of a station gets its
// stationTraceFile, checked the same way. Every file that will be written
// has been tried. Nothing and one line of refusal when any is refused.
std::optional<std::vector<std::string>> traceFiles(const std::string& trace,
                                                   const std::vector<RunPort>& ports,
                                                   const std::optional<FontInUse>& font,
                                                   std::string& refusal);

}  // namespace voren
