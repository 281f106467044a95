// The protocol core, fed byte by byte with no pty in between.
#include "sim/printer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>

#include "tests/sim/frames.h"

namespace voren::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

class PrinterTest : public ::testing::Test {
 protected:
  void makePrinter(std::initializer_list<const char*> faults) {
    FaultPlan plan;
    for (const char* text : faults) {
      auto fault = parseFault(text, nullptr);
      ASSERT_TRUE(fault) << text;
      plan.add(*fault);
    }
    printer_.emplace(std::move(plan),
                     [this](const std::string& text) { reports_.push_back(text); });
  }

  // Sends bytes; returns everything answered, and whether it hung up.
  Bytes send(const Bytes& bytes, bool* hungUp = nullptr) {
    Bytes answers;
    for (std::uint8_t byte : bytes) {
      auto reply = printer_->receive(byte);
      // Answers come only once a stage is complete, never mid-frame.
      answers.insert(answers.end(), reply.bytes.begin(), reply.bytes.end());
      if (hungUp && reply.hangUp) *hungUp = true;
    }
    return answers;
  }

  // One attempt at a block as the updater makes it: stops where it would.
  Bytes attempt(int block, bool damageCrc = false) {
    auto frames = test::framesFor(block, test::patternBlock(block));
    if (damageCrc) frames.second.back() ^= 1;
    Bytes answers = send({kEscape, 0x01});
    if (answers != Bytes{kAck}) return answers;
    Bytes first = send(frames.first);
    answers.insert(answers.end(), first.begin(), first.end());
    if (first != Bytes{kStatusOk}) return answers;
    Bytes second = send(frames.second);
    answers.insert(answers.end(), second.begin(), second.end());
    return answers;
  }

  const Bytes kAccepted{kAck, kStatusOk, kStatusOk};
  std::optional<SimulatedPrinter> printer_;
  std::vector<std::string> reports_;
};

TEST(Crc16Arc, CheckValueAndTrailer) {
  const std::string digits = "123456789";
  Bytes bytes(digits.begin(), digits.end());
  EXPECT_EQ(crc16Arc(bytes), 0xBB3D);
  bytes.push_back(0x3D);
  bytes.push_back(0xBB);
  EXPECT_EQ(crc16Arc(bytes), 0);
}

TEST_F(PrinterTest, FullUploadStoresEveryBlockAtItsAddress) {
  makePrinter({});
  // Out of order, to show the address decides where a block goes.
  for (int block = kBlockCount - 2; block >= 0; --block) ASSERT_EQ(attempt(block), kAccepted);
  EXPECT_EQ(printer_->stats().updatesCompleted, 0);
  ASSERT_EQ(attempt(kBlockCount - 1), kAccepted);

  auto memory = printer_->memory();
  for (int block = 0; block < kBlockCount; ++block) {
    auto expected = test::patternBlock(block);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), memory.begin() + block * kBlockSize))
        << "block " << block;
  }
  EXPECT_EQ(printer_->stats().blocksStored, kBlockCount);
  EXPECT_EQ(printer_->stats().updatesCompleted, 1);
  EXPECT_EQ(printer_->stats().protocolErrors, 0);
  EXPECT_TRUE(reports_.empty());
}

TEST_F(PrinterTest, DamagedBlockIsRefusedWithStatusOneUntilSentWhole) {
  makePrinter({});
  EXPECT_EQ(attempt(4, /*damageCrc=*/true), (Bytes{kAck, kStatusOk, kStatusCrc}));
  EXPECT_FALSE(printer_->stored(4));
  EXPECT_EQ(attempt(4), kAccepted);
  EXPECT_TRUE(printer_->stored(4));
  EXPECT_EQ(printer_->stats().crcFailures, 1);
  EXPECT_EQ(printer_->stats().repeats, 1);
  EXPECT_EQ(printer_->stats().protocolErrors, 0);
  ASSERT_EQ(reports_.size(), 1u);  // a genuine mismatch is worth a line
  EXPECT_NE(reports_[0].find("block 4: CRC"), std::string::npos);
}

TEST_F(PrinterTest, InjectedCrcFailuresFireTheirNumberOfTimes) {
  makePrinter({"5:2:crc:4"});
  for (int block = 0; block < 5; ++block) ASSERT_EQ(attempt(block), kAccepted);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(attempt(5), (Bytes{kAck, kStatusOk, kStatusCrc}));
  EXPECT_EQ(attempt(5), kAccepted);
  EXPECT_EQ(printer_->stats().crcFailures, 4);
  EXPECT_EQ(printer_->stats().repeats, 4);
  EXPECT_TRUE(reports_.empty());  // injected, so no mismatch report
}

TEST_F(PrinterTest, FaultAtTheAcknowledgementHitsTheBlockExpectedNext) {
  makePrinter({"3:ack:nak", "5:ack:silence", "6:ack:stray=15,41"});
  for (int block = 0; block < 3; ++block) ASSERT_EQ(attempt(block), kAccepted);
  EXPECT_EQ(attempt(3), Bytes{kNak});
  EXPECT_EQ(attempt(3), kAccepted);  // a refused command leaves the printer ready
  EXPECT_EQ(attempt(4), kAccepted);
  EXPECT_EQ(attempt(5), Bytes{});
  EXPECT_EQ(attempt(5), kAccepted);
  EXPECT_EQ(send({kEscape, 0x01}), (Bytes{0x15, 0x41, kAck}));
  EXPECT_EQ(printer_->stats().protocolErrors, 0);
}

TEST_F(PrinterTest, FaultAtBlockZeroComesBackWithTheNextUpdateOfTheSession) {
  makePrinter({"0:ack:stray=15,41:2"});
  const auto zero = test::framesFor(0, test::patternBlock(0));
  for (int update = 1; update <= 2; ++update) {
    ASSERT_EQ(send({kEscape, 0x01}), (Bytes{0x15, 0x41, kAck})) << "update " << update;
    ASSERT_EQ(send(zero.first), Bytes{kStatusOk});
    ASSERT_EQ(send(zero.second), Bytes{kStatusOk});
    for (int block = 1; block < kBlockCount; ++block) ASSERT_EQ(attempt(block), kAccepted);
  }
  EXPECT_EQ(printer_->stats().updatesCompleted, 2);
}

TEST_F(PrinterTest, FaultsAtTheStatusBytesEndTheCommand) {
  makePrinter({"0:1:status=5", "1:2:verify", "2:1:silence", "3:2:stray=FF"});
  EXPECT_EQ(attempt(0), (Bytes{kAck, 5}));
  EXPECT_EQ(attempt(1), (Bytes{kAck, kStatusOk, kStatusVerify}));
  EXPECT_FALSE(printer_->stored(1));
  EXPECT_EQ(attempt(2), Bytes{kAck});
  EXPECT_EQ(attempt(3), (Bytes{kAck, kStatusOk, 0xFF, kStatusOk}));
  EXPECT_TRUE(printer_->stored(3));
  // After every ended command the next ESC 0x01 is a fresh command.
  EXPECT_EQ(attempt(0), kAccepted);
  EXPECT_EQ(printer_->stats().verifyFailures, 1);
  EXPECT_EQ(printer_->stats().protocolErrors, 0);
}

TEST_F(PrinterTest, HangsUpWhereToldAndHearsNothingAfterwards) {
  makePrinter({"2:1:hangup"});
  ASSERT_EQ(attempt(0), kAccepted);
  ASSERT_EQ(attempt(1), kAccepted);
  auto frames = test::framesFor(2, test::patternBlock(2));
  bool hungUp = false;
  EXPECT_EQ(send({kEscape, 0x01}), Bytes{kAck});
  EXPECT_EQ(send(frames.first, &hungUp), Bytes{});
  EXPECT_TRUE(hungUp);
  EXPECT_TRUE(printer_->hungUp());
  EXPECT_EQ(send({kEscape, 0x01}), Bytes{});
}

TEST_F(PrinterTest, HangsUpAfterAByteCount) {
  makePrinter({});
  printer_->hangUpAfter(100);
  bool hungUp = false;
  Bytes answers = send({kEscape, 0x01}, &hungUp);
  auto frames = test::framesFor(0, test::patternBlock(0));
  send(Bytes(frames.first.begin(), frames.first.begin() + 97), &hungUp);
  EXPECT_FALSE(hungUp);
  send({frames.first[97]}, &hungUp);
  EXPECT_TRUE(hungUp);
  EXPECT_EQ(printer_->stats().bytesReceived, 100u);
}

TEST_F(PrinterTest, ReportsEveryByteThatBreaksTheProtocol) {
  makePrinter({});
  EXPECT_EQ(send({0x41}), Bytes{});               // not ESC between commands
  EXPECT_EQ(send({kEscape, 0x02}), Bytes{kNak});  // a command it does not know
  Bytes outside(130, 0);
  outside[0] = 0x01;
  outside[1] = 0xD0;  // 464
  EXPECT_EQ(send({kEscape, 0x01}), Bytes{kAck});
  EXPECT_EQ(send(outside), Bytes{kStatusBadAddress});
  EXPECT_EQ(send({kEscape, 0x01, 0x01}), Bytes{kAck});
  printer_->abandonCommand("the line went quiet");  // cut short after one byte
  EXPECT_EQ(printer_->stats().protocolErrors, 4);
  ASSERT_EQ(reports_.size(), 4u);
  EXPECT_NE(reports_[0].find("0x41"), std::string::npos);
  EXPECT_NE(reports_[1].find("0x02"), std::string::npos);
  EXPECT_NE(reports_[2].find("464"), std::string::npos);
  EXPECT_NE(reports_[3].find("after 1 of 130"), std::string::npos);
  EXPECT_EQ(attempt(0), kAccepted);
}

TEST_F(PrinterTest, UpdaterStoppingAfterTheFirstHalfIsNoProtocolError) {
  makePrinter({});
  auto frames = test::framesFor(0, test::patternBlock(0));
  send({kEscape, 0x01});
  send(frames.first);
  EXPECT_TRUE(printer_->inCommand());
  printer_->abandonCommand("the peer closed the line");
  EXPECT_FALSE(printer_->inCommand());
  EXPECT_EQ(printer_->stats().protocolErrors, 0);
}

}  // namespace
}  // namespace voren::sim
