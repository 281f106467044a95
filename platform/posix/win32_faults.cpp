// Planned failures of the Win32 subset, for tests.
#include <array>
#include <atomic>
#include <mutex>

#include "platform/posix/win32_api.h"
#include "platform/posix/win32_fault_points.h"

namespace voren {
namespace {

struct Plan {
  unsigned long error = 0;
  int count = 0;
  int skip = 0;
};

constexpr std::size_t callCount = static_cast<std::size_t>(faults::Call::SetPriorityClass) + 1;

struct FaultState {
  std::mutex mutex;
  std::array<Plan, callCount> plans{};
  // Calls look at this alone while nothing is planned, which is always
  // outside tests.
  std::atomic<bool> anyPlanned{false};
  std::atomic<bool> ctsHeld{false};
};

FaultState& state() {
  static auto* instance = new FaultState;
  return *instance;
}

}  // namespace

namespace faults {

bool available() { return true; }

void failCall(Call call, unsigned long error, int count, int skip) {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.plans[static_cast<std::size_t>(call)] = Plan{error, count, skip};
  s.anyPlanned = true;
}

void reset() {
  auto& s = state();
  std::lock_guard lock(s.mutex);
  s.plans.fill(Plan{});
  s.anyPlanned = false;
  s.ctsHeld = false;
}

void raiseLineError(unsigned long ceBits) { win32::raiseLineErrorOnOpenDevices(ceBits); }

void holdCts(bool held) { state().ctsHeld = held; }

}  // namespace faults

namespace win32 {

bool injectFault(faults::Call call) {
  auto& s = state();
  if (!s.anyPlanned.load(std::memory_order_relaxed)) return false;
  std::lock_guard lock(s.mutex);
  Plan& plan = s.plans[static_cast<std::size_t>(call)];
  if (plan.count <= 0) return false;
  if (plan.skip > 0) {
    --plan.skip;
    return false;
  }
  --plan.count;
  SetLastError(static_cast<DWORD>(plan.error));
  return true;
}

bool ctsHeldByTest() { return state().ctsHeld.load(std::memory_order_relaxed); }

}  // namespace win32
}  // namespace voren
