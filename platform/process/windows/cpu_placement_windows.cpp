// Placement on Windows: each thread's ideal processor, a preference the
// scheduler keeps while that CPU is free and leaves while it is busy, so it
// needs no review. Processors past the first 64 (other groups) are not used.
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "platform/process/cpu_placement.h"

namespace voren {
namespace {

// The serial unit exports a function of its own named OpenThread, so the
// system's is found by name.
HANDLE openThread(DWORD access, DWORD id) {
  using OpenThreadFunction = HANDLE(WINAPI*)(DWORD, BOOL, DWORD);
  static const auto open = reinterpret_cast<OpenThreadFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "OpenThread")));
  return open != nullptr ? open(access, FALSE, id) : nullptr;
}

}  // namespace

std::vector<Cpu> allowedCpus() {
  DWORD_PTR process = 0, system = 0;
  std::vector<Cpu> cpus;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) return cpus;
  for (unsigned n = 0; n < sizeof(DWORD_PTR) * 8; ++n) {
    if (process & (DWORD_PTR{1} << n)) cpus.push_back(Cpu{n});
  }
  return cpus;
}

std::optional<Cpu> currentCpu() { return Cpu{static_cast<unsigned>(GetCurrentProcessorNumber())}; }

bool keepThreadsOn(std::span<const Cpu> cpus) {
  // A preference needs no letting go.
  if (cpus.size() != 1) return true;
  const DWORD ideal = cpus.front().number;
  if (ideal >= sizeof(DWORD_PTR) * 8) return false;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  bool set = false;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID != self) continue;
    HANDLE thread = openThread(THREAD_SET_INFORMATION, entry.th32ThreadID);
    if (thread == nullptr) continue;
    if (SetThreadIdealProcessor(thread, ideal) != static_cast<DWORD>(-1)) set = true;
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return set;
}

std::optional<std::chrono::nanoseconds> timeWaitedForCpu() { return std::nullopt; }

std::optional<std::chrono::nanoseconds> timeCpuIdle(Cpu) { return std::nullopt; }

std::optional<std::chrono::nanoseconds> timeProcessRan() { return std::nullopt; }

}  // namespace voren
