// The command line and the fault syntax: what a test or an operator types.
#include "sim/options.h"

#include <gtest/gtest.h>

namespace voren::sim {
namespace {

TEST(FaultSyntax, ReadsEveryKind) {
  auto crc = parseFault("5:2:crc:4", nullptr);
  ASSERT_TRUE(crc);
  EXPECT_EQ(crc->block, 5);
  EXPECT_EQ(crc->point, AnswerPoint::SecondHalf);
  EXPECT_EQ(crc->kind, Fault::Kind::Crc);
  EXPECT_EQ(crc->times, 4);

  auto nak = parseFault("*:ack:nak", nullptr);
  ASSERT_TRUE(nak);
  EXPECT_EQ(nak->block, Fault::kAnyBlock);
  EXPECT_EQ(nak->times, 1);

  auto status = parseFault("143:1:status=0x7B", nullptr);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, 123);

  auto stray = parseFault("0:2:stray=11,13,ff", nullptr);
  ASSERT_TRUE(stray);
  EXPECT_EQ(stray->stray, (std::vector<std::uint8_t>{0x11, 0x13, 0xFF}));
}

TEST(FaultSyntax, RefusesWhatItCannotMean) {
  for (const char* bad :
       {"5:2", "144:2:crc", "5:3:nak", "5:1:crc", "5:ack:verify", "5:2:nak:0", "5:2:status=256",
        "5:2:status", "5:2:nak=1", "5:2:stray=1G", "5:2:boom", "-1:2:nak", "5:2:crc:4:1"}) {
    std::string why;
    EXPECT_FALSE(parseFault(bad, &why)) << bad;
    EXPECT_FALSE(why.empty()) << bad;
  }
}

TEST(FaultPlan, FiresPerBlockAndPointUntilUsedUp) {
  FaultPlan plan;
  plan.add(*parseFault("5:2:crc:2", nullptr));
  plan.add(*parseFault("*:2:verify", nullptr));
  EXPECT_FALSE(plan.fire(5, AnswerPoint::FirstHalf));
  EXPECT_EQ(plan.fire(5, AnswerPoint::SecondHalf)->kind, Fault::Kind::Crc);
  EXPECT_EQ(plan.fire(5, AnswerPoint::SecondHalf)->kind, Fault::Kind::Crc);
  EXPECT_EQ(plan.fire(5, AnswerPoint::SecondHalf)->kind, Fault::Kind::Verify);
  EXPECT_FALSE(plan.fire(6, AnswerPoint::SecondHalf));
}

TEST(Options, ReadsTheCommandLine) {
  auto parsed = parseOptions({"--link", "/tmp/com1", "--dump", "d.bin", "--baud", "38400",
                              "--fault", "5:2:crc", "--hangup-after", "900", "--exit-on-close",
                              "--lifetime", "60", "--latency-timer", "16"});
  ASSERT_TRUE(parsed.options) << parsed.message;
  EXPECT_EQ(parsed.options->link, "/tmp/com1");
  EXPECT_EQ(parsed.options->dump, "d.bin");
  EXPECT_EQ(parsed.options->baud, 38400u);
  EXPECT_FALSE(parsed.options->faults.empty());
  EXPECT_EQ(parsed.options->hangUpAfter, 900u);
  EXPECT_TRUE(parsed.options->exitOnClose);
  EXPECT_FALSE(parsed.options->exitAfterUpdate);
  EXPECT_EQ(parsed.options->lifetimeSeconds, 60u);
  EXPECT_EQ(parsed.options->latencyTimerMs, 16u);
}

TEST(Options, SaysWhatIsWrong) {
  EXPECT_NE(parseOptions({"--baud"}).message.find("--baud needs"), std::string::npos);
  EXPECT_NE(parseOptions({"--baud", "0"}).message.find("positive"), std::string::npos);
  EXPECT_NE(parseOptions({"--fault", "5:9:nak"}).message.find("ack, 1 or 2"), std::string::npos);
  for (const char* timer : {"0", "256", "16ms", "-1"}) {
    EXPECT_NE(parseOptions({"--latency-timer", timer}).message.find("1 to 255"), std::string::npos)
        << timer;
  }
  EXPECT_NE(parseOptions({"--colour"}).message.find("--colour"), std::string::npos);
  auto help = parseOptions({"--help"});
  EXPECT_FALSE(help.options);
  EXPECT_EQ(help.message.rfind("usage:", 0), 0u);
}

}  // namespace
}  // namespace voren::sim
