// Placement on Linux: the affinity of each thread (a new thread takes its
// creator's), and the run-queue wait the scheduler keeps per thread.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/process/cpu_placement.h"

namespace voren {

std::vector<Cpu> allowedCpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  std::vector<Cpu> cpus;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (unsigned n = 0; n < CPU_SETSIZE; ++n) {
    if (CPU_ISSET(n, &set)) cpus.push_back(Cpu{n});
  }
  return cpus;
}

std::optional<Cpu> currentCpu() {
  const int n = sched_getcpu();
  if (n < 0) return std::nullopt;
  return Cpu{static_cast<unsigned>(n)};
}

bool keepThreadsOn(std::span<const Cpu> cpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (const Cpu cpu : cpus) {
    if (cpu.number >= CPU_SETSIZE) return false;
    CPU_SET(cpu.number, &set);
  }
  // The calling thread first: its threads to come take its mask.
  if (sched_setaffinity(0, sizeof set, &set) != 0) return false;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return true;
  while (const dirent* entry = readdir(tasks)) {
    const auto tid = static_cast<pid_t>(std::atoi(entry->d_name));
    if (tid > 0) sched_setaffinity(tid, sizeof set, &set);
  }
  closedir(tasks);
  return true;
}

std::optional<std::chrono::nanoseconds> timeWaitedForCpu() {
  // "time on the CPU, time waiting for it, time slices", in nanoseconds.
  const int fd = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  char text[96] = {};
  const ssize_t got = read(fd, text, sizeof text - 1);
  close(fd);
  if (got <= 0) return std::nullopt;
  char* end = nullptr;
  std::strtoull(text, &end, 10);
  const char* waited = end;
  const unsigned long long value = std::strtoull(waited, &end, 10);
  if (end == waited) return std::nullopt;
  return std::chrono::nanoseconds(value);
}

}  // namespace voren
