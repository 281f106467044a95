#include "app/station/station.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "app/report/json_events.h"
#include "app/station/rerun.h"
#include "app/station/station_json.h"
#include "app/station/station_protocol.h"
#include "app/station/station_screen.h"
#include "app/updater.h"
#include "platform/console/console.h"
#include "platform/process/process.h"

namespace voren {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kLook = std::chrono::milliseconds(100);
// How long a stopped child may take to finish its block and close its port:
// a silent printer costs one 3-second read time-out.
constexpr auto kStopBound = std::chrono::seconds(10);

// One port: its child process and what it has said.
struct PortRun {
  std::string name;
  std::vector<std::string> arguments;  // the child's
  std::unique_ptr<ChildProcess> child;
  std::thread reader;
  int percent = 0;
  int toldPercent = 0;
  std::vector<std::string> report;
  std::optional<ChildExit> exit;
  bool outputEnded = false;
  Clock::time_point started;
  std::optional<PortEnd> childEnd;  // the end the child told, with --json
  std::optional<PortEnd> end;       // once it has ended
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

// How a port whose child has ended and said all it will has ended.
PortEnd settled(const PortRun& run, bool stopping) {
  const std::optional<int> status = run.exit ? run.exit->status : std::nullopt;
  PortEnd end;
  if (status == kUpdated || status == kOutputIncomplete) {
    end.outcome = PortOutcome::Updated;
    end.outputIncomplete = status == kOutputIncomplete;
  } else if (status == kUpdateStopped || (stopping && !status)) {
    // Killed after the bound counts as stopped too: the station asked.
    end.outcome = PortOutcome::Stopped;
  }
  end.seconds = std::chrono::duration<double>(Clock::now() - run.started).count();
  // The figures only the child knows; the outcome and the text are the
  // station's, which may have had to stop or kill it.
  if (run.childEnd) {
    if (end.outcome != PortOutcome::Stopped) end.code = run.childEnd->code;
    end.medianWaitMs = run.childEnd->medianWaitMs;
  }
  if (end.outcome == PortOutcome::Stopped) {
    end.text = "Przerwano, aktualizacja niedokonczona";
  } else if (!run.report.empty()) {
    end.text = endTextOf(run.report);
  } else {
    end.text = "Blad: proces aktualizacji zakonczyl sie bez raportu";
  }
  return end;
}

}  // namespace

namespace {

// Each port's run and its child's arguments.
std::vector<PortRun> planRuns(const CommandLine& c, const std::vector<RunPort>& ports,
                              const std::vector<std::string>& traces) {
  std::vector<PortRun> runs(ports.size());
  for (std::size_t i = 0; i < ports.size(); ++i) {
    PortRun& run = runs[i];
    const PortArgument& port = ports[i].argument;
    run.name = ports[i].name;
    run.arguments = {"--station-child", "--station-place", std::to_string(i)};
    if (c.json) run.arguments.emplace_back("--json");
    if (port.number) {
      run.arguments.insert(run.arguments.end(), {"--port", std::to_string(*port.number)});
    } else {
      run.arguments.insert(run.arguments.end(), {"--device", port.device});
    }
    if (!traces.empty()) run.arguments.insert(run.arguments.end(), {"--trace", traces[i]});
  }
  return runs;
}

void startChildren(std::vector<PortRun>& runs, GlyphTableView table, EventQueue& queue,
                   StationView& view) {
  const std::string program = ownProgramPath();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    PortRun& run = runs[i];
    std::string error;
    run.started = Clock::now();
    run.child = ChildProcess::start(program, run.arguments, &error);
    if (!run.child) {
      run.end = PortEnd{.outcome = PortOutcome::Failed,
                        .text = "Blad: nie mozna uruchomic procesu aktualizacji"};
      view.ended(i, *run.end);
      view.note(i, error);
      continue;
    }
    // A child that has already gone reads nothing; its end tells the rest.
    run.child->writeInput(table);
    run.reader = std::thread(readChild, std::ref(*run.child), i, std::ref(queue));
  }
}

void take(PortRun& run, std::size_t port, const std::optional<StationMessage>& message,
          StationView& view) {
  if (!message) {
    run.outputEnded = true;
  } else if (message->kind == StationMessage::Kind::Progress) {
    run.percent = std::max(run.percent, message->percent);
  } else if (message->kind == StationMessage::Kind::Report) {
    run.report.push_back(message->text);
  } else if (message->kind == StationMessage::Kind::Event) {
    // The end is the station's to tell: it settles the port itself.
    if (auto end = readEndEvent(message->text)) {
      run.childEnd = std::move(end);
    } else {
      view.event(port, message->text);
    }
  } else if (!message->text.empty()) {
    view.note(port, message->text);
  }
}

// Until every child has ended and said all it will. Ctrl-C closes each
// child's input, which asks it to stop between blocks; a child still there
// after the bound is killed.
void watchChildren(std::vector<PortRun>& runs, EventQueue& queue, StationView& view) {
  bool stopping = false;
  Clock::time_point stopDeadline;
  for (bool running = true; running;) {
    for (const auto& event : queue.take(kLook)) {
      take(runs[event.port], event.port, event.message, view);
    }
    if (interrupted() && !stopping) {
      stopping = true;
      stopDeadline = Clock::now() + kStopBound;
      for (auto& run : runs) {
        if (run.child) run.child->closeInput();
      }
    }
    running = false;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      PortRun& run = runs[i];
      if (run.end) continue;
      if (run.percent != run.toldPercent) view.progress(i, run.toldPercent = run.percent);
      if (!run.exit) run.exit = run.child->exited();
      if (run.exit && run.outputEnded) {
        run.end = settled(run, stopping);
        view.ended(i, *run.end);
        continue;
      }
      running = true;
      if (stopping && Clock::now() > stopDeadline) run.child->kill();
    }
  }
  for (auto& run : runs) {
    if (run.reader.joinable()) run.reader.join();
  }
}

}  // namespace

int runStation(const CommandLine& c, const std::vector<RunPort>& ports, GlyphTableView table,
               const std::vector<std::string>& traces) {
  std::vector<PortRun> runs = planRuns(c, ports, traces);

  std::unique_ptr<StationView> view;
  if (c.json) {
    view = std::make_unique<StationJson>(c.font);
  } else {
    view = std::make_unique<StationScreen>(systemConsole());
  }
  // After the console: its own handler would end the process.
  catchInterrupt();
  std::vector<std::string> names;
  for (const auto& run : runs) names.push_back(run.name);
  view->started(names);
  EventQueue queue;
  startChildren(runs, table, queue, *view);
  watchChildren(runs, queue, *view);

  std::vector<PortArgument> notUpdated;
  std::vector<std::string> theirTraces;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].end->outcome == PortOutcome::Updated) continue;
    notUpdated.push_back(ports[i].argument);
    if (!traces.empty()) theirTraces.push_back(traces[i]);
  }
  const bool whole = std::all_of(runs.begin(), runs.end(),
                                 [](const PortRun& r) { return !r.end->outputIncomplete; });
  const int status = !notUpdated.empty() ? kUpdateFailed : whole ? kUpdated : kOutputIncomplete;
  view->finished(status,
                 notUpdated.empty() ? RerunCommand{} : rerunCommand(c, notUpdated, theirTraces));
  return status;
}

}  // namespace voren
