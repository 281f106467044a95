// What one byte costs through the serial unit: WriteByte hands it to the
// transfer worker, which writes it to a pseudo-terminal and hands the result
// back. The far end is drained by a process of its own, so the driver never
// holds the bytes back. The update moves 38,160 bytes this way. Free: the
// system places the threads; on one CPU: as a run places them, the drain
// process (the printer's side) left free.
//
// Beside it, the least such a hand-over can cost on this machine: two bare
// threads on one CPU, each byte handed over and back through a futex word
// (a wake only when the other side sleeps, no objects, no handle table),
// the worker writing it to a pseudo-terminal the same way. What the unit and
// the emulation add is the difference between the two.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/futex.h>
#include <pty.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <thread>
#include <vector>

#include "platform/process/cpu_placement.h"
#include "serial/winseria.h"

namespace {

// A pseudo-terminal whose far end a process of its own drains, on whichever
// of the allowed CPUs the system puts it: the printer's side, whose CPU is
// not the benchmark's, as a printer's program is not the update's.
class DrainedPty {
 public:
  explicit DrainedPty(const std::vector<voren::Cpu>& allowed) {
    int slave = -1;
    if (openpty(&master_, &slave, name_, nullptr, nullptr) != 0) return;
    close(slave);
    drain_ = fork();
    if (drain_ == 0) {
      voren::keepThreadsOn(allowed);  // the child's one thread
      char buffer[4096];
      while (read(master_, buffer, sizeof buffer) > 0) {
      }
      _exit(0);
    }
  }
  ~DrainedPty() {
    if (drain_ > 0) {
      kill(drain_, SIGKILL);
      waitpid(drain_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }
  DrainedPty(const DrainedPty&) = delete;
  DrainedPty& operator=(const DrainedPty&) = delete;

  bool opened() const { return master_ >= 0 && drain_ > 0; }
  const char* name() const { return name_; }

 private:
  int master_ = -1;
  char name_[64] = {};
  pid_t drain_ = -1;
};

void WriteByteToAPty(benchmark::State& state) {
  const auto allowed = voren::allowedCpus();
  if (state.range(0) != 0) voren::startPlacement(std::nullopt);
  DrainedPty pty(allowed);
  if (!pty.opened()) {
    state.SkipWithError("no pseudo-terminal");
    voren::keepThreadsOn(allowed);
    return;
  }
  setenv("VOREN_COM9", pty.name(), 1);
  // CTS as the program sets it: each write asks whether CTS holds the line.
  UstawCTS(1);
  if (InitializePort(9, 38400, 3, 3) != 0) {
    state.SkipWithError("the port did not open");
  } else {
    for (auto _ : state) {
      if (WriteByte(0x55) != 1) {
        state.SkipWithError("a byte did not go out");
        break;
      }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  }
  UnInitializePort();
  voren::keepThreadsOn(allowed);
}

// A futex word that one thread raises and another takes; a raise makes the
// system call only when the taker sleeps, as the emulation's waits do.
class Flag {
 public:
  void raise() {
    if (word_.exchange(kRaised) == kSleeping) {
      syscall(SYS_futex, &word_, FUTEX_WAKE_PRIVATE, 1);
    }
  }
  void take() {
    for (;;) {
      std::uint32_t seen = kRaised;
      if (word_.compare_exchange_strong(seen, kLowered)) return;
      if (seen == kSleeping || word_.compare_exchange_strong(seen, kSleeping)) {
        syscall(SYS_futex, &word_, FUTEX_WAIT_PRIVATE, kSleeping, nullptr);
      }
    }
  }

 private:
  static constexpr std::uint32_t kLowered = 0, kRaised = 1, kSleeping = 2;
  std::atomic<std::uint32_t> word_{kLowered};
};

void BareHandOverToAPty(benchmark::State& state) {
  const auto allowed = voren::allowedCpus();
  voren::startPlacement(std::nullopt);  // the caller and the worker on one CPU
  DrainedPty pty(allowed);
  const int device = pty.opened() ? open(pty.name(), O_RDWR | O_NOCTTY) : -1;
  if (device < 0) {
    state.SkipWithError("no pseudo-terminal");
    voren::keepThreadsOn(allowed);
    return;
  }
  Flag request, idle;
  std::atomic<bool> stop{false};
  std::thread worker([&] {
    for (;;) {
      request.take();
      if (stop) return;
      const char byte = 0x55;
      if (write(device, &byte, 1) != 1) stop = true;
      idle.raise();
    }
  });
  for (auto _ : state) {
    request.raise();
    idle.take();
    if (stop) {
      state.SkipWithError("a byte did not go out");
      break;
    }
  }
  stop = true;
  request.raise();
  worker.join();
  close(device);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  voren::keepThreadsOn(allowed);
}

// The CPU of the whole process: the caller, the transfer worker and the
// emulation's I/O thread; the drain process's is left out.
BENCHMARK(WriteByteToAPty)
    ->ArgName("oneCpu")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BareHandOverToAPty)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
