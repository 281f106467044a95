// voren-cp852: writes the code page 852 character set into a VOREN printer.
// With no arguments it is the operator's dialogue; options run it from a script.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/dialogue.h"
#include "app/font_file.h"
#include "app/report/json_events.h"
#include "app/report/json_report.h"
#include "app/port_identity.h"
#include "app/port_list.h"
#include "app/report/run_outputs.h"
#include "app/screen_text.h"
#include "app/station/station.h"
#include "app/station/station_child.h"
#include "app/trace_place.h"
#include "app/updater.h"
#include "link/wire_trace.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"
#include "platform/files/files.h"
#include "platform/files/standard_output.h"
#include "platform/process/cpu_placement.h"
#include "platform/win32/com_device.h"
#include "platform/win32/com_ports.h"

namespace {

// A line for stderr, which is the operator's screen as often as a log: the
// names in it (a device, a file, an argument) are shown as the screen may show them.
void errorLine(const std::string& line) {
  std::fprintf(stderr, "voren-cp852: %s\n", voren::screenText(line).c_str());
}

int badCommandLine(const std::string& error) {
  errorLine(error);
  std::fprintf(stderr, "%s\n", voren::kUsageLine);
  return voren::kRefusedInput;
}

int refused(const std::string& line) {
  errorLine(line);
  return voren::kRefusedInput;
}

// One port a line with what the system knows of it; the dialogue's line
// when the computer has no port.
void printPorts() {
  const auto ports = voren::comPortsPresent();
  if (ports.empty()) std::puts(voren::kNoComPortsLine);
  for (const auto& line : voren::portListLines(ports)) std::puts(line.c_str());
}

// After --list, --help or --version: text that never reached its file (a
// full disk) is a failure, or a script would take an empty list for no ports.
int written() {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
  std::fprintf(stderr, "voren-cp852: write error: %s\n", std::strerror(errno));
  return voren::kWriteFailed;
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
      return written();
    case Action::Version:
      std::puts(voren::versionText().c_str());
      return written();
    case Action::List:
      if (c.json) {
        for (const auto& port : voren::comPortsPresent())
          std::puts(voren::listedPort(port).c_str());
      } else {
        printPorts();
      }
      return written();
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
  // The ports, then the traces that must not take them: all refused before
  // any port is opened or any child started.
  std::string refusal;
  const auto ports = voren::checkRunPorts(c.ports, refusal);
  if (!ports) return refused(refusal);
  std::vector<std::string> traces;
  if (c.trace) {
    auto files = voren::traceFiles(*c.trace, *ports, inUse, refusal);
    if (!files) return refused(refusal);
    traces = std::move(*files);
  }
  if (ports->size() > 1) {
    return voren::withOutputsTold(voren::runStation(c, *ports, settings.table, traces),
                                  std::nullopt, voren::TraceLine::OnStandardError);
  }
  if (!ports->empty()) {
    settings.port = voren::PortChoice{ports->front().number, ports->front().name};
  }
  if (c.trace && !voren::startWireTrace(*c.trace)) {
    return refused("trace file '" + *c.trace + "': " + voren::wireTraceFailure());
  }
  voren::startPlacement(c.stationPlace);
  const int status = c.stationChild ? voren::updateForStation(settings, c.json, c.trace)
                     : c.json       ? voren::updateWithJson(settings, c.font, c.trace)
                                    : update(settings);
  voren::stopWireTrace();
  // After the end report: the upload went on, the operator learns what did not.
  return voren::withOutputsTold(status, c.trace,
                                c.stationChild && c.json ? voren::TraceLine::InEventsAlone
                                                         : voren::TraceLine::OnStandardError);
}

}  // namespace

int main(int argc, char** argv) {
  // First: a port or file opened with a standard stream closed would take its
  // place and receive the program's own text.
  voren::openClosedStandardStreams();
  // A reader that closes our output (| head) must not end an upload half way.
  voren::keepRunningWhenReadersClose();
  if (argc <= 1) {
    voren::startPlacement(std::nullopt);
    return voren::withOutputsTold(update({}), std::nullopt, voren::TraceLine::OnStandardError);
  }
  const auto parsed = voren::parseCommandLine(
      std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc - 1)));
  if (!parsed.error.empty()) return badCommandLine(parsed.error);
  return runOptions(parsed.commandLine);
}
