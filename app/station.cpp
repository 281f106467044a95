#include "app/station.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "app/dialogue.h"
#include "app/station_protocol.h"
#include "app/texts.h"
#include "app/updater.h"
#include "platform/console/console.h"
#include "platform/process/process.h"
#include "platform/win32/com_device.h"

namespace voren {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLook = std::chrono::milliseconds(100);
// How long a stopped child may take to finish its block and close its port:
// a silent printer costs one 3-second read time-out.
constexpr auto kStopBound = std::chrono::seconds(10);

enum class Outcome { Running, Updated, Failed, Stopped };

// One port: its child process and what it has said.
struct PortRun {
  std::string name;
  std::vector<std::string> arguments;  // the child's
  std::unique_ptr<ChildProcess> child;
  std::thread reader;
  int percent = 0;
  std::vector<std::string> report;
  std::vector<std::string> notes;
  std::optional<ChildExit> exit;
  bool outputEnded = false;
  bool traceIncomplete = false;
  Outcome outcome = Outcome::Running;
  std::string endText;
};

// What the readers hand the station's thread: a line of a port's child,
// or the end of its output.
struct Event {
  std::size_t port;
  std::optional<StationMessage> message;
};

class EventQueue {
 public:
  void push(Event event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
    }
    ready_.notify_one();
  }
  // What has come, waiting a moment for it when nothing has.
  std::deque<Event> take(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, wait, [&] { return !events_.empty(); });
    return std::exchange(events_, {});
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

void readChild(ChildProcess& child, std::size_t port, EventQueue& queue) {
  LineSplitter lines;
  char buffer[512];
  for (std::size_t n; (n = child.readOutput(buffer)) > 0;) {
    for (const auto& line : lines.feed(std::string_view(buffer, n))) {
      queue.push({port, parseStationLine(line)});
    }
  }
  if (const auto last = lines.finish()) queue.push({port, parseStationLine(*last)});
  queue.push({port, std::nullopt});
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += (text.empty() ? "" : " ") + line;
  return text;
}

// Settles a port whose child has ended and said all it will.
void settle(PortRun& run, bool stopping) {
  const std::optional<int> status = run.exit ? run.exit->status : std::nullopt;
  if (status == kUpdated || status == kTraceIncomplete) {
    run.outcome = Outcome::Updated;
    run.traceIncomplete = status == kTraceIncomplete;
  } else if (status == kUpdateStopped || (stopping && !status)) {
    // Killed after the bound counts as stopped too: the station asked.
    run.outcome = Outcome::Stopped;
  } else {
    run.outcome = Outcome::Failed;
  }
  if (run.outcome == Outcome::Stopped) {
    run.endText = "Przerwano, aktualizacja niedokonczona";
  } else if (!run.report.empty()) {
    run.endText = joined(run.report);
  } else {
    run.endText = "Blad: proces aktualizacji zakonczyl sie bez raportu";
  }
}

class StationScreen {
 public:
  StationScreen(Console& console, const std::vector<PortRun>& runs)
      : console_(console), runs_(runs), inPlace_(console.cursor().has_value()) {
    for (const auto& run : runs) nameWidth_ = std::max(nameWidth_, run.name.size());
    for (const auto& run : runs) {
      shown_.push_back(line(run));
      console_.write(shown_.back() + "\n");
    }
  }

  // Rewrites the lines that changed in place; without a cursor to move,
  // appends a port's line each tenth and at its end, as the single-port
  // log does.
  void update() {
    for (std::size_t i = 0; i < runs_.size(); ++i) {
      const std::string now = line(runs_[i]);
      if (now == shown_[i]) continue;
      if (inPlace_) {
        const int up = static_cast<int>(runs_.size() - i);
        console_.moveRows(-up);
        console_.moveToColumn(1);
        console_.write(now);
        console_.moveRows(up);
        console_.moveToColumn(1);
      } else if ((runs_[i].percent / 10 > shownPercents_[i] / 10 && runs_[i].percent < 100) ||
                 runs_[i].outcome != Outcome::Running) {
        // 100 comes with the end report, on the line that ends the port.
        console_.write(now + "\n");
      } else {
        continue;
      }
      shown_[i] = now;
      shownPercents_[i] = runs_[i].percent;
    }
  }

 private:
  // Never shorter than the line before it, so each covers the last.
  std::string line(const PortRun& run) const {
    std::string text =
        run.name + std::string(nameWidth_ - run.name.size(), ' ') + format(" %3d%%", run.percent);
    if (run.outcome != Outcome::Running) text += "  " + run.endText;
    return text;
  }

  Console& console_;
  const std::vector<PortRun>& runs_;
  bool inPlace_;
  std::size_t nameWidth_ = 0;
  std::vector<std::string> shown_;
  std::vector<int> shownPercents_ = std::vector<int>(runs_.size(), 0);
};

void printSummary(Console& console, const std::vector<PortRun>& runs) {
  const auto updated = std::count_if(
      runs.begin(), runs.end(), [](const PortRun& r) { return r.outcome == Outcome::Updated; });
  console.write(format("\nZaktualizowano %d z %d drukarek.\n", static_cast<int>(updated),
                       static_cast<int>(runs.size())));
  if (updated < static_cast<long>(runs.size())) console.write("Nie zaktualizowano:\n");
  for (const auto& run : runs) {
    if (run.outcome != Outcome::Updated) {
      console.write("  " + run.name + ": " + run.endText + "\n");
    }
  }
  for (const auto& run : runs) {
    for (const auto& note : run.notes) console.write(run.name + ": " + note + "\n");
  }
}

}  // namespace

std::string portName(const PortArgument& port) {
  return port.number ? "COM" + std::to_string(*port.number) : port.device;
}

std::string stationTraceFile(const std::string& trace, const std::string& portName) {
  const std::string leaf = portName.substr(portName.find_last_of("/\\") + 1);
  std::filesystem::path path(trace);
  std::filesystem::path file = path.stem();
  file += "-" + leaf;
  file += path.extension();
  // The folder as the operator wrote it, separators and all.
  return path.replace_filename(file).string();
}

namespace {

// Each port's run and its child's arguments; a refusal (one line) when a
// device names no port or a trace cannot go where it would.
std::string planRuns(const std::vector<PortArgument>& ports,
                     const std::optional<std::string>& trace, const std::optional<FontInUse>& font,
                     std::vector<PortRun>& runs) {
  runs = std::vector<PortRun>(ports.size());
  for (std::size_t i = 0; i < ports.size(); ++i) {
    PortRun& run = runs[i];
    run.name = portName(ports[i]);
    run.arguments = {"--station-child", "--station-place", std::to_string(i)};
    if (ports[i].number) {
      run.arguments.insert(run.arguments.end(), {"--port", std::to_string(*ports[i].number)});
    } else {
      // Refused here as the single-port run refuses it, before any child.
      const auto device = comPortForDevice(ports[i].device);
      if (!device.port) return "device '" + ports[i].device + "': " + device.refusal;
      run.arguments.insert(run.arguments.end(), {"--device", ports[i].device});
    }
    if (!trace) continue;
    const std::string file = stationTraceFile(*trace, run.name);
    for (std::size_t j = 0; j < i; ++j) {
      if (runs[j].arguments.back() == file) {
        return "trace file '" + file + "': named for both " + runs[j].name + " and " + run.name;
      }
    }
    if (std::string refusal = tracePlaceRefusal(file, font); !refusal.empty()) return refusal;
    run.arguments.insert(run.arguments.end(), {"--trace", file});
  }
  return {};
}

void startChildren(std::vector<PortRun>& runs, GlyphTableView table, EventQueue& queue) {
  const std::string program = ownProgramPath();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    PortRun& run = runs[i];
    std::string error;
    run.child = ChildProcess::start(program, run.arguments, &error);
    if (!run.child) {
      run.outcome = Outcome::Failed;
      run.endText = "Blad: nie mozna uruchomic procesu aktualizacji";
      run.notes.push_back(error);
      continue;
    }
    // A child that has already gone reads nothing; its end tells the rest.
    run.child->writeInput(table);
    run.reader = std::thread(readChild, std::ref(*run.child), i, std::ref(queue));
  }
}

void take(PortRun& run, const std::optional<StationMessage>& message) {
  if (!message) {
    run.outputEnded = true;
  } else if (message->kind == StationMessage::Kind::Progress) {
    run.percent = std::max(run.percent, message->percent);
  } else if (message->kind == StationMessage::Kind::Report) {
    run.report.push_back(message->text);
  } else if (!message->text.empty()) {
    run.notes.push_back(message->text);
  }
}

// Until every child has ended and said all it will. Ctrl-C closes each
// child's input, which asks it to stop between blocks; a child still there
// after the bound is killed.
void watchChildren(std::vector<PortRun>& runs, EventQueue& queue, StationScreen& screen) {
  bool stopping = false;
  Clock::time_point stopDeadline;
  for (bool running = true; running;) {
    for (const auto& event : queue.take(kLook)) take(runs[event.port], event.message);
    if (interrupted() && !stopping) {
      stopping = true;
      stopDeadline = Clock::now() + kStopBound;
      for (auto& run : runs) {
        if (run.child) run.child->closeInput();
      }
    }
    running = false;
    for (auto& run : runs) {
      if (run.outcome != Outcome::Running) continue;
      if (!run.exit) run.exit = run.child->exited();
      if (run.exit && run.outputEnded) {
        settle(run, stopping);
        continue;
      }
      running = true;
      if (stopping && Clock::now() > stopDeadline) run.child->kill();
    }
    screen.update();
  }
  for (auto& run : runs) {
    if (run.reader.joinable()) run.reader.join();
  }
}

}  // namespace

int runStation(const std::vector<PortArgument>& ports, GlyphTableView table,
               const std::optional<std::string>& trace, const std::optional<FontInUse>& font) {
  std::vector<PortRun> runs;
  if (const std::string refusal = planRuns(ports, trace, font, runs); !refusal.empty()) {
    std::fprintf(stderr, "voren-cp852: %s\n", refusal.c_str());
    return kRefusedInput;
  }

  Console& console = systemConsole();
  // After the console: its own handler would end the process.
  catchInterrupt();
  printBanner(console);
  EventQueue queue;
  startChildren(runs, table, queue);
  StationScreen screen(console, runs);
  watchChildren(runs, queue, screen);
  printSummary(console, runs);

  const auto all = [&](auto holds) { return std::all_of(runs.begin(), runs.end(), holds); };
  if (!all([](const PortRun& r) { return r.outcome == Outcome::Updated; })) {
    return kUpdateFailed;
  }
  return all([](const PortRun& r) { return !r.traceIncomplete; }) ? kUpdated : kTraceIncomplete;
}

}  // namespace voren
