#include "platform/process/cpu_placement.h"

#include <algorithm>

namespace voren {

std::optional<Cpu> cpuToStartOn(std::span<const Cpu> allowed, std::optional<Cpu> current,
                                std::optional<std::size_t> stationChild) {
  if (allowed.size() < 2) return std::nullopt;
  if (stationChild) return allowed[*stationChild % allowed.size()];
  if (current && std::find(allowed.begin(), allowed.end(), *current) != allowed.end()) {
    return current;
  }
  return allowed.front();
}

PlacementStep stepAfter(RunStretch stretch, bool movedBefore) {
  if (stretch.compared.count() > 0 && stretch.nextIdle &&
      *stretch.nextIdle * 4 < stretch.compared * 3) {
    return PlacementStep::LetGo;
  }
  const bool waited = stretch.elapsed.count() > 0 && stretch.waited * 10 >= stretch.elapsed;
  const bool othersRan =
      stretch.compared.count() > 0 && stretch.othersRanMore * 10 >= stretch.compared;
  if (!waited && !othersRan) return PlacementStep::Stay;
  return movedBefore ? PlacementStep::LetGo : PlacementStep::Move;
}

Cpu cpuAfter(std::span<const Cpu> allowed, Cpu cpu) {
  const auto it = std::find(allowed.begin(), allowed.end(), cpu);
  if (it == allowed.end() || it + 1 == allowed.end()) return allowed.front();
  return *(it + 1);
}

namespace {

using Clock = std::chrono::steady_clock;

// Shorter stretches say more about the moment than about the CPU. The
// system counts a CPU's idle time in ticks of up to 10 ms, so CPUs are
// compared over longer spans.
constexpr auto kShortestStretch = std::chrono::milliseconds(50);
constexpr auto kShortestComparison = std::chrono::milliseconds(250);

// One run per process, placed from the thread that runs the update.
struct Placement {
  std::vector<Cpu> allowed;
  std::optional<Cpu> cpu;  // nothing: the system places the threads
  std::vector<Cpu> mask;   // the CPUs the system reads back once placed
  bool alone = false;      // a run of its own, no station's copy
  bool moved = false;
  bool reviewed = false;
  Clock::time_point since;
  std::chrono::nanoseconds waitedSince{};
  Clock::time_point comparedSince;
  // Nothing where the system does not say.
  std::optional<std::chrono::nanoseconds> idleSince;      // of the run's CPU
  std::optional<std::chrono::nanoseconds> nextIdleSince;  // of the one it would move to
  std::optional<std::chrono::nanoseconds> ranSince;       // of the process
};

Placement& placement() {
  static Placement p;
  return p;
}

// Places the threads on cpus; false when the system refuses. What the
// system then reads back is the run's own: another later was set by someone
// else (taskset -p, a task manager), and holds.
bool place(Placement& p, std::span<const Cpu> cpus) {
  if (!keepThreadsOn(cpus)) return false;
  p.mask = allowedCpus();
  return true;
}

void letGo(Placement& p) {
  keepThreadsOn(p.allowed);
  p.cpu.reset();
}

// A comparison of the run's CPU with the next begins.
void beginComparison(Placement& p, Clock::time_point now) {
  p.comparedSince = now;
  p.idleSince = timeCpuIdle(*p.cpu);
  p.nextIdleSince = timeCpuIdle(cpuAfter(p.allowed, *p.cpu));
  p.ranSince = timeProcessRan();
}

// A look begins on the CPU the run is on now.
void beginStretch(Placement& p, Clock::time_point now) {
  p.since = now;
  p.waitedSince = timeWaitedForCpu().value_or(std::chrono::nanoseconds{});
  beginComparison(p, now);
}

// The comparison since it began, into the stretch: how much longer other
// programs ran on the run's CPU than on the next one, and for a run alone
// how long the next CPU idled. The run's own time is all on its CPU, so the
// first is the next CPU's idle time less the run's, less the run's own
// time. Programs that load every CPU alike (the station's other copies
// among them) leave it at none; none too where the system does not say.
void compareSince(const Placement& p, RunStretch& stretch) {
  const auto idle = timeCpuIdle(*p.cpu);
  const auto nextIdle = timeCpuIdle(cpuAfter(p.allowed, *p.cpu));
  const auto ran = timeProcessRan();
  if (p.alone && p.nextIdleSince && nextIdle) stretch.nextIdle = *nextIdle - *p.nextIdleSince;
  if (!p.idleSince || !p.nextIdleSince || !p.ranSince || !idle || !nextIdle || !ran) return;
  const auto more = (*nextIdle - *p.nextIdleSince) - (*idle - *p.idleSince) - (*ran - *p.ranSince);
  stretch.othersRanMore = std::max(more, std::chrono::nanoseconds{});
}

}  // namespace

void startPlacement(std::optional<std::size_t> stationChild) {
  Placement& p = placement();
  p = Placement{};
  p.allowed = allowedCpus();
  p.alone = !stationChild;
  const auto cpu = cpuToStartOn(p.allowed, currentCpu(), stationChild);
  if (!cpu) return;
  const Cpu one[] = {*cpu};
  if (place(p, one)) p.cpu = cpu;
}

void reviewPlacement() {
  Placement& p = placement();
  if (!p.cpu) return;
  // Threads moved by someone else stay where they were put: the run
  // places nothing more.
  if (allowedCpus() != p.mask) return p.cpu.reset();
  const auto now = Clock::now();
  if (!p.reviewed) {
    // The port's workers have started since: on Windows they get their
    // ideal processor here. The stretch from the start, with its process
    // start and the port's pauses, says nothing about the CPU: looks begin
    // here.
    p.reviewed = true;
    const Cpu one[] = {*p.cpu};
    if (!place(p, one)) return letGo(p);
    return beginStretch(p, now);
  }
  if (now - p.since < kShortestStretch) return;
  const auto waited = timeWaitedForCpu();
  if (!waited) return;
  const auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - p.since);
  RunStretch stretch{*waited - p.waitedSince, elapsed};
  p.since = now;
  p.waitedSince = *waited;
  if (now - p.comparedSince >= kShortestComparison) {
    compareSince(p, stretch);
    stretch.compared = std::chrono::duration_cast<std::chrono::nanoseconds>(now - p.comparedSince);
    beginComparison(p, now);
  }
  switch (stepAfter(stretch, p.moved)) {
    case PlacementStep::Stay:
      return;
    case PlacementStep::Move: {
      p.moved = true;
      const Cpu next[] = {cpuAfter(p.allowed, *p.cpu)};
      if (!place(p, next)) return letGo(p);
      p.cpu = next[0];
      return beginStretch(p, Clock::now());
    }
    case PlacementStep::LetGo:
      return letGo(p);
  }
}

}  // namespace voren
