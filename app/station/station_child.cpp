#include "app/station/station_child.h"

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "app/adapter_delay.h"
#include "app/glyph_table.h"
#include "app/report/json_events.h"
#include "app/report/json_report.h"
#include "app/report/line_console.h"
#include "app/report/run_outputs.h"
#include "app/station/station_protocol.h"
#include "link/wire_trace.h"
#include "platform/console/console.h"
#include "platform/console/keyboard.h"
#include "platform/process/process.h"

namespace voren {

namespace {

// Set when the station wants no more: its pipe to us ended, or ours to it
// broke.
std::atomic<bool> stationGone{false};

void say(const std::string& line) {
  if (!writeToParent(line)) stationGone = true;
}

void sendReport(const std::string& line) { say(reportLine(line)); }

class StationWatcher final : public UpdateWatcher {
 public:
  void portRefused(PortRefusal) override {}
  void portOpened() override { say(progressLine(0)); }
  void blockTaken(std::uint32_t, int percent) override { say(progressLine(percent)); }
  void blockRepeated(std::uint32_t, std::uint8_t) override {}
  // A line that is neither progress nor report: the station shows it under
  // its summary, for this port.
  void answersLate(const std::string& line) override { say(line + "\n"); }
  bool stopRequested() override { return stationGone; }
};

// Reads standard input to its end on a thread of its own, which the
// process leaves blocked in its read when it exits.
void watchForTheEndOfInput() {
  std::thread([] {
    std::uint8_t ignored[64];
    while (readFromParent(ignored) > 0) {
    }
    stationGone = true;
  }).detach();
}

}  // namespace

std::optional<std::vector<std::uint8_t>> receiveGlyphTable() {
  useParentPipes();
  std::vector<std::uint8_t> table(kGlyphTableSize);
  std::size_t have = 0;
  while (have < table.size()) {
    const std::size_t n = readFromParent(std::span(table).subspan(have));
    if (n == 0) return std::nullopt;
    have += n;
  }
  return table;
}

int updateForStation(UpdateSettings settings, bool json, const std::optional<std::string>& trace) {
  watchForTheEndOfInput();
  StationWatcher watcher;
  std::optional<JsonReport> report;
  LineConsole console([&](const std::string& line) {
    sendReport(line);
    if (report) report->screenLine(line);
  });
  if (json) {
    report.emplace(
        settings.port->name, [](const std::string& event) { say(eventLine(event)); }, &watcher);
  }
  Keyboard keyboard(console);
  settings.watcher = report ? static_cast<UpdateWatcher*>(&*report) : &watcher;
  const int status = AktualizacjaStronyKodowej(console, keyboard, settings);
  console.flush();
  if (report) {
    // The trace's last lines are written as it stops: only then is it known
    // whole. An event, not a line on standard error: a name may hold a line
    // break, which would cut a note in two.
    stopWireTrace();
    if (const auto why = traceNotWhole(trace)) {
      say(eventLine(noteEvent(settings.port->name, "voren-cp852: " + *why)));
    }
    report->finish(status);
  }
  return status;
}

}  // namespace voren
