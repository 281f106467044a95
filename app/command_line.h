#pragma once
// The program's options for unattended use. With none it is the operator's
// dialogue; parsed by hand, as there are only a handful.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace voren {

// A port named on the command line: --port N, or --device PATH.
struct PortArgument {
  std::optional<std::uint8_t> number;  // --port N, 1..255
  std::string device;                  // --device PATH, when no number
  friend bool operator==(const PortArgument&, const PortArgument&) = default;
};

struct CommandLine {
  // What the program does; the first of these asked for wins: help,
  // version, list, update.
  enum class Action { Update, Help, Version, List };
  Action action = Action::Update;
  // In the order given; several make the station (app/station/station.h). Two names
  // of one port are refused by app/port_identity.h, which looks at the devices.
  std::vector<PortArgument> ports;
  std::optional<std::string> font;   // --font FILE
  std::optional<std::string> trace;  // --trace FILE
  // --json: the run's events as JSON lines on standard output, in place of
  // the screen (app/report/json_events.h); needs a port, as the dialogue has none.
  bool json = false;
  // --station-child, not in the help: one port updated for a station, in
  // its line protocol (app/station/station_protocol.h).
  bool stationChild = false;
  // --station-place K, not in the help: the child's place among the
  // station's ports, which chooses its CPU (platform/process/cpu_placement.h).
  std::optional<std::size_t> stationPlace;
  friend bool operator==(const CommandLine&, const CommandLine&) = default;
};

struct ParsedCommandLine {
  CommandLine commandLine;
  std::string error;  // empty when the command line is good
};

// The arguments after the program's name.
ParsedCommandLine parseCommandLine(std::span<const char* const> arguments);

// The options of c as words, which parseCommandLine reads back as c: how a
// station writes the command that runs again what it did not finish.
std::vector<std::string> argumentsOf(const CommandLine& c);

// The first line of the help: what goes to stderr after a bad command line.
extern const char* const kUsageLine;
// The whole help, one screen.
std::string helpText();
// "voren-cp852 1.0.0".
std::string versionText();

}  // namespace voren
