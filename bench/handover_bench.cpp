// What one byte costs through the serial unit: WriteByte hands it to the
// transfer worker, which writes it to a pseudo-terminal and hands the result
// back. The far end is drained by a thread of its own, so the driver never
// holds the bytes back. The update moves 38,160 bytes this way. Free: the
// system places the threads; on one CPU: as a run places them, the drain
// thread (the printer's side) left free.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "platform/process/cpu_placement.h"
#include "serial/winseria.h"

namespace {

void WriteByteToAPty(benchmark::State& state) {
  int master = -1;
  int slave = -1;
  char name[64] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  close(slave);
  setenv("VOREN_COM9", name, 1);
  const auto allowed = voren::allowedCpus();
  const bool oneCpu = state.range(0) != 0;
  if (oneCpu) voren::startPlacement(std::nullopt);
  std::atomic<bool> done{false};
  std::thread drain([&] {
    // This thread alone: the printer's side runs where the system puts it.
    cpu_set_t all;
    CPU_ZERO(&all);
    for (const auto cpu : allowed) CPU_SET(cpu.number, &all);
    sched_setaffinity(0, sizeof all, &all);
    char buffer[4096];
    while (!done) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) == 1 && read(master, buffer, sizeof buffer) <= 0) break;
    }
  });
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
  done = true;
  drain.join();
  close(master);
  voren::keepThreadsOn(allowed);
}
// The CPU of the whole process: the caller, the transfer worker, the
// emulation's I/O thread and the drain thread.
BENCHMARK(WriteByteToAPty)
    ->ArgName("oneCpu")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

}  // namespace

BENCHMARK_MAIN();
