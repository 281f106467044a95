#include "app/station_child.h"

#include <atomic>
#include <string>
#include <thread>

#include "app/adapter_delay.h"
#include "app/glyph_table.h"
#include "app/station_protocol.h"
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

// What the update writes is its report: each line goes to the station as
// it is completed. Nothing here can place a cursor or read a key.
class ReportConsole final : public Console {
 public:
  ~ReportConsole() override {
    if (const auto last = lines_.finish()) sendReport(*last);
  }
  void clear() override {}
  void write(std::string_view text) override {
    for (const auto& line : lines_.feed(text)) sendReport(line);
  }
  std::optional<Key> readKey() override { return std::nullopt; }
  bool keyWaiting() override { return true; }
  std::optional<CursorPosition> cursor() override { return std::nullopt; }
  void moveToColumn(int) override {}
  void moveRows(int) override {}
  std::optional<WindowSize> windowSize() override { return std::nullopt; }
  unsigned windowChanges() override { return 0; }

 private:
  static void sendReport(const std::string& line) {
    if (!line.empty()) say(reportLine(line));
  }
  LineSplitter lines_;
};

class StationWatcher final : public UpdateWatcher {
 public:
  void progress(int percent) override { say(progressLine(percent)); }
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

int updateForStation(UpdateSettings settings) {
  watchForTheEndOfInput();
  ReportConsole console;
  Keyboard keyboard(console);
  StationWatcher watcher;
  settings.watcher = &watcher;
  const int status = AktualizacjaStronyKodowej(console, keyboard, settings);
  // A line that is neither progress nor report: the station shows it under
  // its summary, for this port.
  if (status != kUpdateStopped) {
    if (const auto line = adapterDelayReport(settings.port->number, settings.port->name)) {
      say(*line + "\n");
    }
  }
  return status;
}

}  // namespace voren
