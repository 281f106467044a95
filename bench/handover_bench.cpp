// What one byte costs through the serial unit: WriteByte hands it to the
// transfer worker, which writes it to a pseudo-terminal and hands the result
// back. The far end is drained by a thread of its own, so the driver never
// holds the bytes back. The update moves 38,160 bytes this way.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <thread>

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
  std::atomic<bool> done{false};
  std::thread drain([&] {
    char buffer[4096];
    while (!done) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 50) == 1 && read(master, buffer, sizeof buffer) <= 0) break;
    }
  });
  UstawCTS(0);
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
}
BENCHMARK(WriteByteToAPty)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
