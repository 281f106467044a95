// Which CPU a run keeps its threads on, and how it leaves one that another
// program holds; then the system's side on this machine.
#include "platform/process/cpu_placement.h"

#include <gtest/gtest.h>

#include <vector>

namespace voren {
namespace {

using std::chrono::milliseconds;

TEST(CpuPlacement, StartingCpu) {
  const std::vector<Cpu> two = {{0}, {1}};
  const std::vector<Cpu> userMask = {{2}, {5}, {7}};  // taskset -c 2,5,7 on a bigger machine
  const struct {
    const char* what;
    std::vector<Cpu> allowed;
    std::optional<Cpu> current;
    std::optional<std::size_t> child;
    std::optional<Cpu> expected;
  } rows[] = {
      {"one CPU: nothing to choose", {{0}}, Cpu{0}, std::nullopt, std::nullopt},
      {"a user's mask of one CPU stays as it is", {{3}}, Cpu{3}, 4, std::nullopt},
      {"nothing known of the CPUs", {}, std::nullopt, std::nullopt, std::nullopt},
      {"a run of its own stays where it is", two, Cpu{1}, std::nullopt, Cpu{1}},
      {"the station's children spread round", two, Cpu{0}, 3, Cpu{1}},
      {"the station's first child", two, Cpu{1}, 0, Cpu{0}},
      {"children only within the user's mask", userMask, Cpu{0}, 4, Cpu{5}},
      {"a run outside the user's mask goes into it", userMask, Cpu{0}, std::nullopt, Cpu{2}},
      {"a run not knowing its CPU takes the first", two, std::nullopt, std::nullopt, Cpu{0}},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(cpuToStartOn(row.allowed, row.current, row.child), row.expected) << row.what;
  }
  EXPECT_EQ(cpuAfter(userMask, Cpu{5}), Cpu{7});
  EXPECT_EQ(cpuAfter(userMask, Cpu{7}), Cpu{2});
}

TEST(CpuPlacement, StepAfterAStretch) {
  const struct {
    const char* what;
    RunStretch stretch;
    bool movedBefore;
    PlacementStep expected;
  } rows[] = {
      {"hardly waited", {milliseconds(9), milliseconds(100)}, false, PlacementStep::Stay},
      {"another program holds the CPU",
       {milliseconds(10), milliseconds(100)},
       false,
       PlacementStep::Move},
      {"held on the next CPU too",
       {milliseconds(40), milliseconds(100)},
       true,
       PlacementStep::LetGo},
      {"free after the move", {milliseconds(1), milliseconds(100)}, true, PlacementStep::Stay},
      {"no time passed", {milliseconds(0), milliseconds(0)}, false, PlacementStep::Stay},
      // Each answer from the printer waits behind the others while the next
      // CPU idles, though the caller's own share of waiting stays small.
      {"others ran longer on the CPU than on the next",
       {milliseconds(1), milliseconds(50), milliseconds(25), milliseconds(250)},
       false,
       PlacementStep::Move},
      {"others ran longer on the next CPU too",
       {milliseconds(1), milliseconds(50), milliseconds(30), milliseconds(250)},
       true,
       PlacementStep::LetGo},
      {"others ran alike on both",
       {milliseconds(1), milliseconds(50), milliseconds(24), milliseconds(250)},
       false,
       PlacementStep::Stay},
      // A run alone: what it leaves to others would crowd onto its CPU.
      {"alone, another program holds the next CPU",
       {milliseconds(1), milliseconds(50), milliseconds(0), milliseconds(250), milliseconds(187)},
       false,
       PlacementStep::LetGo},
      {"alone, the next CPU mostly idle",
       {milliseconds(1), milliseconds(50), milliseconds(0), milliseconds(250), milliseconds(188)},
       false,
       PlacementStep::Stay},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(stepAfter(row.stretch, row.movedBefore), row.expected) << row.what;
  }
}

// The system's side: a CPU the machine does not have is refused, and the
// run goes on where it was; the threads can be let go again.
TEST(CpuPlacement, SystemRefusalLeavesTheThreadsWhereTheyAre) {
  const auto allowed = allowedCpus();
  ASSERT_FALSE(allowed.empty());
  const Cpu missing[] = {{allowed.back().number + 64}};
  EXPECT_FALSE(keepThreadsOn(missing));
  EXPECT_EQ(allowedCpus(), allowed);

  const Cpu first[] = {allowed.front()};
  ASSERT_TRUE(keepThreadsOn(first));
  EXPECT_EQ(allowedCpus(), std::vector<Cpu>{allowed.front()});
  EXPECT_EQ(currentCpu(), allowed.front());
  // Placed already, so a run started now has nothing to choose.
  startPlacement(std::nullopt);
  EXPECT_EQ(allowedCpus(), std::vector<Cpu>{allowed.front()});
  ASSERT_TRUE(keepThreadsOn(allowed));
  EXPECT_EQ(allowedCpus(), allowed);
  EXPECT_TRUE(timeWaitedForCpu().has_value());
  EXPECT_TRUE(timeCpuIdle(allowed.front()).has_value());
  EXPECT_FALSE(timeCpuIdle(missing[0]).has_value());
  EXPECT_TRUE(timeProcessRan().has_value());
}

// An administrator's mask set while the run is placed (taskset -p) holds:
// the run's next look leaves the threads where they were put.
TEST(CpuPlacement, AMaskSetWhilePlacedHolds) {
  const auto allowed = allowedCpus();
  if (allowed.size() < 2) GTEST_SKIP() << "one CPU: nothing is placed";
  startPlacement(std::nullopt);
  const auto current = currentCpu();
  ASSERT_TRUE(current.has_value());
  const Cpu elsewhere[] = {cpuAfter(allowed, *current)};
  ASSERT_TRUE(keepThreadsOn(elsewhere));
  reviewPlacement();
  EXPECT_EQ(allowedCpus(), std::vector<Cpu>{elsewhere[0]});
  ASSERT_TRUE(keepThreadsOn(allowed));
}

}  // namespace
}  // namespace voren
