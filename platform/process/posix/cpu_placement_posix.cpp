// Placement on Linux: the affinity of each thread (a new thread takes its
// creator's), the run-queue wait the scheduler keeps per thread, and each
// CPU's idle time the kernel counts in /proc/stat.
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

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

std::optional<std::chrono::nanoseconds> timeCpuIdle(Cpu cpu) {
  // "cpuN user nice system idle iowait ...", in ticks; a CPU waiting for a
  // disk is free to run the update.
  std::FILE* stat = std::fopen("/proc/stat", "re");
  if (stat == nullptr) return std::nullopt;
  const long ticksPerSecond = sysconf(_SC_CLK_TCK);
  std::optional<std::chrono::nanoseconds> idle;
  char line[256];
  while (ticksPerSecond > 0 && std::fgets(line, sizeof line, stat) != nullptr) {
    unsigned number = 0;
    unsigned long long ticks[5] = {};
    // The first line, "cpu  ...", is the sum of all CPUs.
    if (std::strncmp(line, "cpu", 3) != 0 || line[3] < '0' || line[3] > '9' ||
        std::sscanf(line + 3, "%u %llu %llu %llu %llu %llu", &number, &ticks[0], &ticks[1],
                    &ticks[2], &ticks[3], &ticks[4]) != 6 ||
        number != cpu.number) {
      continue;
    }
    const auto idleTicks = static_cast<long long>(ticks[3] + ticks[4]);
    idle = std::chrono::nanoseconds(idleTicks * (1'000'000'000LL / ticksPerSecond));
    break;
  }
  std::fclose(stat);
  return idle;
}

std::optional<std::chrono::nanoseconds> timeProcessRan() {
  timespec ran{};
  if (clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ran) != 0) return std::nullopt;
  return std::chrono::seconds(ran.tv_sec) + std::chrono::nanoseconds(ran.tv_nsec);
}

}  // namespace voren
