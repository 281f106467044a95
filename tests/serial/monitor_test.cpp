// The monitoring worker: its reports while a transfer waits, the server
// link's commands, and a stop that also ends the suspended state.
#include "serial/monitor.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>
#include <string>

#include "serial/port_functions.h"
#include "serial/unit_state.h"
#include "tests/serial/unit_fixture.h"

namespace winseria {
namespace {

class ScriptedLink : public ServerLink {
 public:
  void Notice(char letter, int number) override {
    std::lock_guard guard(lock_);
    notices_ += letter;
    EXPECT_EQ(number, 0);
  }
  std::optional<char> Poll() override {
    std::lock_guard guard(lock_);
    if (commands_.empty()) return std::nullopt;
    const char c = commands_.front();
    commands_.pop_front();
    return c;
  }
  void WaitMessage(HANDLE wake) override { WaitForMultipleObjects(1, &wake, FALSE, 5); }

  void command(char c) {
    std::lock_guard guard(lock_);
    commands_.push_back(c);
  }
  std::string notices() {
    std::lock_guard guard(lock_);
    return notices_;
  }

 private:
  std::mutex lock_;
  std::deque<char> commands_;
  std::string notices_;
};

class MonitorTest : public voren::test::SerialUnitTest {
 protected:
  void SetUp() override {
    SerialUnitTest::SetUp();
    unitState().Link = &link_;
  }
  // Waits up to a second for the worker to have given this many notices.
  std::string noticesAfter(std::size_t count) {
    for (int i = 0; i < 1000 && link_.notices().size() < count; ++i) Sleep(1);
    return link_.notices();
  }
  ScriptedLink link_;
};

TEST_F(MonitorTest, FollowsCommandsAndStopsWhileSuspended) {
  port::CloseThread();  // without a worker: nothing happens
  port::OpenThread();
  link_.command('b');
  link_.command('a');
  link_.command('e');
  link_.command('x');
  link_.command('s');
  EXPECT_EQ(noticesAfter(4), "BAES");
  ASSERT_TRUE(unitState().MonitorThread->Suspended());
  link_.command('r');
  EXPECT_EQ(noticesAfter(5), "BAESR");
  EXPECT_FALSE(unitState().MonitorThread->Suspended());
  link_.command('s');
  EXPECT_EQ(noticesAfter(6), "BAESRS");
  voren::test::endsWithin(
      std::chrono::seconds(2), "CloseThread of the suspended monitoring worker",
      [] {
        port::CloseThread();
        return 0;
      },
      [this] { link_.command('r'); });
  EXPECT_EQ(unitState().MonitorThread, nullptr);
}

TEST_F(MonitorTest, ReportsEveryPassWhileATransferWaits) {
  testing::internal::CaptureStdout();
  port::OpenThread();
  unitState().Transfer.ReadWaiting = true;
  noticesAfter(3);
  unitState().Transfer.ReadWaiting = false;
  port::CloseThread();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_GE(link_.notices().size(), 3u);
  EXPECT_EQ(link_.notices().find_first_not_of('A'), std::string::npos);
  EXPECT_EQ(out.rfind("odmierzam timeout\n", 0), 0u) << out;
}

}  // namespace
}  // namespace winseria
