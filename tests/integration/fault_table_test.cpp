// Every way an update can fail, end to end: the real program and serial unit
// against the simulated printer, in a real terminal. Each row checks the end
// report and the progress it stopped at, that the port is given back (the
// printer sees the close, another program can open the device at once), that
// the terminal is restored and that the program is gone after the last key,
// and what the printer counted: blocks stored, repeats, CRC failures. An
// update that recovers leaves the whole table in the printer and no protocol
// error; a silent printer is given up after the read time-out; a printer
// that hangs up ends by itself.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/updater_run.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;

constexpr int kBlocks = 144;

// How the printer's side of the row ends.
enum class Ending { Answers, FallsSilent, HangsUp };

struct FaultRow {
  const char* name;
  std::vector<std::string> printer;  // voren-sim options
  const char* report;                // nullptr: the update recovers and succeeds
  int accepted;                      // blocks accepted before the update ends
  int repeats;                       // blocks sent again
  int crcFailures = 0;               // CRC failures the printer counted
  Ending ending = Ending::Answers;
  // Blocks the printer keeps, when more than it accepted: one whose answer
  // was spoiled after the printer had stored it.
  int stored = -1;
  // The line that follows the report: what the port said of the failure.
  const char* then = nullptr;
};

void PrintTo(const FaultRow& row, std::ostream* out) { *out << row.name; }

const char* kCrc = "Blad nr 1: blad sumy CRC";
const char* kVerify = "Blad nr 2: blad weryfikacji danych";
const char* kNak = "Blad nr 24: drukarka odpowiedziala NAK na sekwencje sterujaca";
const char* kInvalid = "Blad nr 23: niepoprawna odpowiedz z drukarki";
const char* kReceive = "Blad nr 21: timeout odbierania";
const char* kOther = "Blad nr 105: inny blad";
// A pseudo-terminal whose far end hangs up goes from the system, as a USB
// adapter pulled out does.
const char* kGone = "Port COM1 zostal odlaczony od komputera (adapter USB wyjety?).";

const std::vector<FaultRow> kRows = {
    {"NakAtTheFirstBlock", {"--fault", "0:ack:nak"}, kNak, 0, 0},
    {"NakAtTheLastBlock", {"--fault", "143:ack:nak"}, kNak, 143, 0},
    {"SilenceAfterTheFirstHalf",
     {"--fault", "2:1:silence"},
     kReceive,
     2,
     0,
     0,
     Ending::FallsSilent},
    {"Status5AfterTheFirstHalf", {"--fault", "40:1:status=5"}, kOther, 40, 0},
    {"Status5AfterTheSecondHalf", {"--fault", "40:2:status=5"}, kOther, 40, 0},
    {"Status1AfterTheFirstHalf", {"--fault", "60:1:status=1"}, kInvalid, 60, 0},
    {"CrcOnceAtTheFirstBlock", {"--fault", "0:2:crc"}, nullptr, kBlocks, 1, 1},
    {"CrcOnceAtAMiddleBlock", {"--fault", "71:2:crc"}, nullptr, kBlocks, 1, 1},
    {"CrcOnceAtTheLastBlock", {"--fault", "143:2:crc"}, nullptr, kBlocks, 1, 1},
    {"CrcFourTimesAtTheFirstBlock", {"--fault", "0:2:crc:4"}, kCrc, 0, 3, 4},
    {"CrcFourTimesAtAMiddleBlock", {"--fault", "71:2:crc:4"}, kCrc, 71, 3, 4},
    {"CrcFourTimesAtTheLastBlock", {"--fault", "143:2:crc:4"}, kCrc, 143, 3, 4},
    {"VerifyOnceAtTheFirstBlock", {"--fault", "0:2:verify"}, nullptr, kBlocks, 1},
    {"VerifyOnceAtAMiddleBlock", {"--fault", "71:2:verify"}, nullptr, kBlocks, 1},
    {"VerifyOnceAtTheLastBlock", {"--fault", "143:2:verify"}, nullptr, kBlocks, 1},
    {"VerifyFourTimesAtTheFirstBlock", {"--fault", "0:2:verify:4"}, kVerify, 0, 3},
    {"VerifyFourTimesAtAMiddleBlock", {"--fault", "71:2:verify:4"}, kVerify, 71, 3},
    {"VerifyFourTimesAtTheLastBlock", {"--fault", "143:2:verify:4"}, kVerify, 143, 3},
    {"StrayBytesBeforeTheAcknowledgement", {"--fault", "9:ack:stray=41,42"}, kInvalid, 9, 0},
    {"StrayStatusBeforeTheStatus",
     {"--fault", "9:2:stray=05"},
     kOther,
     9,
     0,
     0,
     Ending::Answers,
     10},
    {"HangUpInsteadOfAnAnswer",
     {"--fault", "20:1:hangup"},
     kReceive,
     20,
     0,
     0,
     Ending::HangsUp,
     -1,
     kGone},
};

class FaultTable : public ::testing::TestWithParam<FaultRow> {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = c == '/' ? '-' : c;
    run_.emplace(name);
  }

  void startUpdate(std::vector<std::string> printer) {
    std::string error, screen;
    ASSERT_TRUE(run_->startPrinter(std::move(printer), &error)) << error;
    ASSERT_TRUE(run_->startProgram({VOREN_CP852_PATH}, {{"VOREN_COM1", pty()}}, &error)) << error;
    ASSERT_TRUE(run_->answerPort(1, 10s, &screen)) << screen;
    typed_ = std::chrono::steady_clock::now();
    pid_ = run_->terminal().programPid().value_or(-1);
    ASSERT_GT(pid_, 0);
  }

  const std::string& pty() { return run_->printer().ptyPath(); }

  // The port is given back: the program holds nothing on it, the printer
  // saw it close, and another program opens the device at once. The end
  // report is shown just before the port closes: the close is waited for.
  void expectPortGivenBack(bool printerStillThere) {
    const auto closing = std::chrono::steady_clock::now() + 2s;
    while (descriptorsOpenOn(pid_, pty()) != 0 && std::chrono::steady_clock::now() < closing) {
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_EQ(descriptorsOpenOn(pid_, pty()), 0) << "the program still holds the port";
    if (!printerStillThere) return;
    EXPECT_TRUE(run_->printer().waitForLog("the peer closed the line", 5s))
        << run_->printer().log();
    const auto probe =
        runCommand({"/usr/bin/env", "VOREN_COM1=" + pty(), VOREN_OPEN_PROBE, "\\\\.\\COM1"});
    EXPECT_EQ(probe.status, 0) << "the device cannot be opened again: " << probe.output;
  }

  // The terminal is back in cooked mode and the program has ended.
  void expectEnded(std::optional<int> status, const std::string& screen) {
    ASSERT_TRUE(status) << "the program did not end; screen:\n" << screen;
    EXPECT_TRUE(run_->terminal().terminalRestored()) << screen;
    const auto deadline = std::chrono::steady_clock::now() + 2s;
    while (!processGone(pid_) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(processGone(pid_)) << "the program is still running";
  }

  std::optional<UpdaterRun> run_;
  pid_t pid_ = -1;
  std::chrono::steady_clock::time_point typed_;  // when the port number went in
};

TEST_P(FaultTable, EndsWithItsReportAndGivesThePortBack) {
  const FaultRow& row = GetParam();
  startUpdate(row.printer);

  std::string screen;
  const auto report = run_->waitForEndReport(60s, &screen);
  ASSERT_TRUE(report) << "no end report; screen:\n" << screen << "\n" << run_->printer().log();
  const auto took = std::chrono::steady_clock::now() - typed_;
  const bool succeeds = row.report == nullptr;
  EXPECT_EQ(*report, succeeds ? kSuccessLine : row.report);
  if (row.then) {
    EXPECT_NE(screen.find(*report + "\n" + row.then), std::string::npos) << screen;
  } else {
    EXPECT_EQ(screen.find("zostal odlaczony"), std::string::npos) << screen;
  }
  // The progress line stays at the last block accepted.
  const auto progress = progressOn(screen);
  ASSERT_TRUE(progress) << screen;
  EXPECT_EQ(progress->percent, row.accepted * 100 / kBlocks);
  if (row.ending == Ending::FallsSilent) {
    // What went before the silence goes at once; then the 3-second read time-out.
    EXPECT_GE(took, 2800ms);
    EXPECT_LT(took, 8s);
  }

  expectPortGivenBack(row.ending != Ending::HangsUp);

  const auto status = run_->terminal().waitForExit(10ms);
  EXPECT_FALSE(status) << "the program ended before the last key";
  run_->terminal().press("Enter");
  const auto exit = run_->terminal().waitForExit(10s, &screen);
  expectEnded(exit, screen);
  EXPECT_EQ(exit.value_or(-1), succeeds ? 0 : 1);
  if (row.ending == Ending::HangsUp) {
    EXPECT_TRUE(run_->printer().waitForExit(1s)) << "the simulator should end after hanging up";
  }

  const std::string dump = run_->stopPrinterAndReadDump();
  const std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "blocks stored"), row.stored < 0 ? row.accepted : row.stored) << log;
  EXPECT_EQ(summaryCount(log, "repeats"), row.repeats) << log;
  EXPECT_EQ(summaryCount(log, "CRC failures"), row.crcFailures) << log;
  if (succeeds) {
    EXPECT_TRUE(dump == glyphTableBytes()) << "the printer holds something else than the table";
    EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, FaultTable, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FaultTable, CtrlCDuringTheUploadRestoresTheTerminalAndReleasesThePort) {
  // Paced, so the upload is still going when the key comes.
  startUpdate({"--baud", "9600"});
  std::string screen;
  ASSERT_TRUE(run_->terminal().waitFor(
      [](const std::string& now) {
        const auto progress = progressOn(now);
        return progress && progress->percent >= 1;
      },
      30s, &screen))
      << screen;
  // What the terminal's Ctrl-C does, sent to the program alone: the pane's
  // wrapper shell, in the same process group, would go with it otherwise.
  ASSERT_EQ(::kill(pid_, SIGINT), 0);
  const auto exit = run_->terminal().waitForExit(10s, &screen);
  expectEnded(exit, screen);
  EXPECT_EQ(exit.value_or(-1), 128 + SIGINT) << "not ended by the interrupt";
  expectPortGivenBack(true);
}

}  // namespace
}  // namespace voren::test
