#pragma once
// Where a run's threads go. Every byte of an update is handed from the caller
// to the transfer worker and back; with both on one CPU that hand-over is a
// switch there, not a wake-up of another CPU (out of idle, or away from
// another program), which costs two to three times the CPU. So a run keeps
// all its threads on one CPU, the station spreads its children over the
// CPUs, and a run that finds its CPU taken by another program moves on, or
// lets the system place it again: never slower than not placing it at all.
//
// Only CPUs the process may use are chosen: a mask the user set (taskset,
// start /affinity) is kept, and one CPU leaves nothing to choose. A refusal
// by the system leaves the threads where they are; it is no error.
#include <chrono>
#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace voren {

// A CPU as the system numbers it.
struct Cpu {
  unsigned number = 0;
  friend bool operator==(Cpu, Cpu) = default;
};

// The CPU a run starts on: the station's k-th child on the k-th of the allowed
// CPUs (counted round), a run of its own on the CPU it is on, when allowed.
// Nothing when there is nothing to choose: one CPU allowed, or none known.
std::optional<Cpu> cpuToStartOn(std::span<const Cpu> allowed, std::optional<Cpu> current,
                                std::optional<std::size_t> stationChild);

// A look at the run between two blocks: how long its caller waited for its
// CPU while ready to run, out of how long the stretch took; and how much
// longer other programs ran on that CPU than on the one it would move to,
// out of the longer span that the system's counts of idle time need (none
// until one has passed).
struct RunStretch {
  std::chrono::nanoseconds waited{};
  std::chrono::nanoseconds elapsed{};
  std::chrono::nanoseconds othersRanMore{};
  std::chrono::nanoseconds compared{};
  // How long the next CPU idled over the compared span, for a run alone;
  // nothing for a station's copy (the others hold the other CPUs by
  // design) or where the system does not say.
  std::optional<std::chrono::nanoseconds> nextIdle{};
};

enum class PlacementStep {
  Stay,   // the CPU is the run's
  Move,   // another program holds it: the next allowed CPU
  LetGo,  // held after a move too: the system places the threads again
};

// Another program holds the CPU when the caller waited for it a tenth of the
// stretch, or when others ran there a tenth of the compared span longer
// than on the next CPU: each answer from the printer then waits behind them while the next
// CPU idles, though the caller's share of the waiting stays small. One move
// is tried, then the run is let go.
// A run alone is let go at once when other programs held the next CPU a
// quarter of the compared span: what the run leaves to others (the kernel's
// side of the port, a printer's program beside it) then crowds onto the
// run's own CPU, and the bytes wait behind it (0.3 ms a block with a busy
// program on either CPU of two, bench/README.md).
PlacementStep stepAfter(RunStretch stretch, bool movedBefore);

// The next allowed CPU after cpu, counted round.
Cpu cpuAfter(std::span<const Cpu> allowed, Cpu cpu);

// The process's placement: started once before the port opens, looked at
// between blocks. Both are no-ops where nothing was placed.
void startPlacement(std::optional<std::size_t> stationChild);
void reviewPlacement();

// The system's side, for the placement and its tests.
std::vector<Cpu> allowedCpus();
std::optional<Cpu> currentCpu();
// Every thread of the process on cpus (all of the allowed ones to let go),
// and on POSIX those it starts from now on; false when the system refuses.
// Windows takes one CPU as each thread's ideal processor, a preference its
// scheduler leaves when that CPU is busy.
bool keepThreadsOn(std::span<const Cpu> cpus);
// How long the calling thread has waited, ready, for a CPU since it started;
// nothing where the system does not say.
std::optional<std::chrono::nanoseconds> timeWaitedForCpu();
// How long cpu has been idle since the machine started, and how long the
// process has run on any CPU since it started; nothing where the system does
// not say.
std::optional<std::chrono::nanoseconds> timeCpuIdle(Cpu cpu);
std::optional<std::chrono::nanoseconds> timeProcessRan();

}  // namespace voren
