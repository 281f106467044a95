// voren-cp852: writes the code page 852 character set into a VOREN printer.
// With no arguments it is the operator's dialogue; options run it from a script.
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/dialogue.h"
#include "app/font_file.h"
#include "app/json_events.h"
#include "app/json_report.h"
#include "app/station.h"
#include "app/station_child.h"
#include "app/trace_place.h"
#include "app/updater.h"
#include "link/wire_trace.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"
#include "platform/win32/com_device.h"
#include "platform/win32/com_ports.h"

namespace {

int badCommandLine(const std::string& error) {
  std::fprintf(stderr, "voren-cp852: %s\n%s\n", error.c_str(), voren::kUsageLine);
  return voren::kRefusedInput;
}

int refused(const std::string& line) {
  std::fprintf(stderr, "voren-cp852: %s\n", line.c_str());
  return voren::kRefusedInput;
}

// One port a line: "COM3 /dev/ttyS2", an unnumbered adapter by its path
// alone; the dialogue's line when the computer has no port.
void printPorts() {
  const auto ports = voren::comPortsPresent();
  if (ports.empty()) std::puts(voren::kNoComPortsLine);
  for (const auto& port : ports) {
    std::string line = port.number != 0 ? "COM" + std::to_string(port.number) : std::string();
    if (!port.device.empty()) line += (line.empty() ? "" : " ") + port.device;
    std::puts(line.c_str());
  }
}

int update(const voren::UpdateSettings& settings) {
  voren::Console& console = voren::systemConsole();
  voren::Keyboard keyboard(console);
  return voren::AktualizacjaStronyKodowej(console, keyboard, settings);
}

int runOptions(const voren::CommandLine& c) {
  using Action = voren::CommandLine::Action;
  switch (c.action) {
    case Action::Help:
      std::fputs(voren::helpText().c_str(), stdout);
      return 0;
    case Action::Version:
      std::puts(voren::versionText().c_str());
      return 0;
    case Action::List:
      if (c.json) {
        for (const auto& port : voren::comPortsPresent())
          std::puts(voren::listedPort(port).c_str());
      } else {
        printPorts();
      }
      return 0;
    case Action::Update:
      break;
  }

  voren::UpdateSettings settings;
  // Checked before anything is opened: a wrong font never reaches the printer.
  std::optional<voren::FontFile> font;
  std::vector<std::uint8_t> stationTable;
  if (c.stationChild) {
    // The station has read and checked the table; a file read again might
    // have changed meanwhile.
    auto table = voren::receiveGlyphTable();
    if (!table) return voren::kUpdateStopped;
    stationTable = std::move(*table);
    settings.table = voren::GlyphTableView(stationTable.data(), voren::kGlyphTableSize);
  } else if (c.font) {
    std::string error;
    font = voren::readFontFile(*c.font, error);
    if (!font) return refused(error);
    settings.table = voren::GlyphTableView(font->bytes.data(), voren::kGlyphTableSize);
  }
  std::optional<voren::FontInUse> inUse;
  if (font) inUse = voren::FontInUse{*c.font, font->identity};
  if (c.ports.size() > 1) return voren::runStation(c, settings.table, inUse);
  if (!c.ports.empty()) {
    const voren::PortArgument& port = c.ports.front();
    if (port.number) {
      settings.port = voren::PortChoice{*port.number, voren::portName(port)};
    } else {
      const auto device = voren::comPortForDevice(port.device);
      if (!device.port) return refused("device '" + port.device + "': " + device.refusal);
      settings.port = voren::PortChoice{*device.port, port.device};
    }
  }
  if (c.trace) {
    const std::string refusal = voren::tracePlaceRefusal(*c.trace, inUse);
    if (!refusal.empty()) return refused(refusal);
    if (!voren::startWireTrace(*c.trace)) {
      return refused("trace file '" + *c.trace + "': " + voren::wireTraceFailure());
    }
  }
  int status = c.stationChild ? voren::updateForStation(settings, c.json)
               : c.json       ? voren::updateWithJson(settings, c.font)
                              : update(settings);
  voren::stopWireTrace();
  // After the end report: the upload went on, the operator learns the trace did not.
  if (c.trace && !voren::wireTraceFailure().empty()) {
    std::fprintf(stderr, "voren-cp852: trace file '%s': %s\n", c.trace->c_str(),
                 voren::wireTraceFailure().c_str());
    if (status == voren::kUpdated) status = voren::kTraceIncomplete;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc <= 1) return update({});
  const auto parsed = voren::parseCommandLine(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
  if (!parsed.error.empty()) return badCommandLine(parsed.error);
  return runOptions(parsed.commandLine);
}
