// The Windows build of the updater, run under Wine in a real terminal
// against the simulated printer: the Wine prefix's COM11 is a symlink to the
// simulator's pty. COM11 on purpose: ports from COM10 up need the \\.\ form.
//
// Wine and Windows differ here (Windows is the reference):
// - Wine lets a second CreateFileA open a COM port that is already open
//   (share mode 0); Windows refuses with ERROR_ACCESS_DENIED (5). So the
//   "port held by another copy" case is checked natively only.
// - A serial read time-out completes with FALSE and ERROR_TIMEOUT (1460)
//   under Wine; Windows completes it with TRUE and 0 bytes. The updater sees
//   a failed byte read either way: SilentPrinterTimesOut holds under both.
// - Wine's console in a tmux pane needs no help from us: _getch delivers
//   keys one by one and the exit status comes through wine unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/glyph_table.h"
#include "tests/integration/updater_run.h"

namespace voren::itest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kComPort = 11;
constexpr const char* kWine = "/usr/lib/wine/wine64";
constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

std::string windowsProgram() {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(VOREN_WINDOWS_BUILD_DIR, error);
       it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (error) break;
    if (it->is_directory() && it->path().filename() == "wineprefix") {
      it.disable_recursion_pending();
    } else if (it->path().filename() == "voren-cp852.exe") {
      return it->path().string();
    }
  }
  return {};
}

// The prefix scripts/wine-run uses.
std::string winePrefix() {
  const char* own = std::getenv("VOREN_WINEPREFIX");
  return own && *own ? own : std::string(VOREN_SOURCE_DIR) + "/build/windows/wineprefix";
}

std::string wineRun() { return std::string(VOREN_SOURCE_DIR) + "/scripts/wine-run"; }

class UpdaterUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    program_ = windowsProgram();
    if (program_.empty() || access(kWine, X_OK) != 0) return;
    // The first use makes the prefix (several seconds); later uses find it.
    CommandResult made = runCommand({wineRun(), "--version"}, 180s);
    prefixReady_ = made.status == 0 && fs::is_directory(winePrefix() + "/dosdevices");
    prefixProblem_ = made.output;
    // A wineserver started here, kept for a while between programs, rather
    // than one started inside a test's terminal and hung up with it.
    // (Its output goes nowhere, or it would hold our pipe open.)
    runCommand({"sh", "-c", "WINEPREFIX=\"$0\" exec \"$1\" -p10 >/dev/null 2>&1", winePrefix(),
                kWineServer});
  }

  void SetUp() override {
    if (program_.empty()) {
      GTEST_SKIP() << "no voren-cp852.exe under " << VOREN_WINDOWS_BUILD_DIR
                   << " (build the windows preset first)";
    }
    if (access(kWine, X_OK) != 0) GTEST_SKIP() << kWine << " is not installed";
    ASSERT_TRUE(prefixReady_) << "no Wine prefix at " << winePrefix() << ": " << prefixProblem_;
    run_.emplace(::testing::UnitTest::GetInstance()->current_test_info()->name());
  }

  void TearDown() override {
    run_.reset();
    fs::remove(comLink());
  }

  static std::string comLink() {
    return winePrefix() + "/dosdevices/com" + std::to_string(kComPort);
  }

  void startUpdate(std::vector<std::string> simArguments) {
    std::string error, screen;
    ASSERT_TRUE(run_->startPrinter(std::move(simArguments), &error)) << error;
    fs::remove(comLink());
    fs::create_symlink(run_->printer().ptyPath(), comLink());
    ASSERT_TRUE(run_->startProgram({wineRun(), program_}, {}, &error)) << error;
    ASSERT_TRUE(run_->answerPort(kComPort, 60s, &screen)) << screen;
  }

  std::string endReport() {
    std::string screen;
    auto report = run_->waitForEndReport(180s, &screen);
    EXPECT_TRUE(report) << "no end report; screen:\n"
                        << screen << "\nsimulator:\n"
                        << run_->printer().log();
    return report.value_or("");
  }

  int exitStatus() {
    std::string screen;
    auto exit = run_->pressKeyAndWaitForExit(30s, &screen);
    EXPECT_TRUE(exit) << "the program did not end after a key; screen:\n" << screen;
    EXPECT_TRUE(run_->terminal().terminalRestored()) << screen;
    return exit.value_or(-1);
  }

  static std::string table() {
    const auto& bytes = voren::glyphTable();
    return std::string(bytes.begin(), bytes.end());
  }

  static inline std::string program_;
  static inline bool prefixReady_ = false;
  static inline std::string prefixProblem_;
  std::optional<UpdaterRun> run_;
};

TEST_F(UpdaterUnderWine, FullUpdateStoresTheGlyphTable) {
  startUpdate({});
  EXPECT_EQ(endReport(), kSuccessLine);
  EXPECT_EQ(exitStatus(), 0);
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == table())
      << "the printer holds something else than the table";
  std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "blocks stored"), 144) << log;
  EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
}

TEST_F(UpdaterUnderWine, BlockWithACrcFailureIsSentAgain) {
  startUpdate({"--fault", "5:2:crc"});
  EXPECT_EQ(endReport(), kSuccessLine);
  EXPECT_EQ(exitStatus(), 0);
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == table());
  std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "CRC failures"), 1) << log;
  EXPECT_EQ(summaryCount(log, "repeats"), 1) << log;
}

TEST_F(UpdaterUnderWine, FourCrcFailuresInARowEndTheUpdate) {
  startUpdate({"--fault", "5:2:crc:4"});
  EXPECT_EQ(endReport(), "Blad nr 1: blad sumy CRC");
  EXPECT_EQ(exitStatus(), 1);
  run_->stopPrinterAndReadDump();
  EXPECT_EQ(summaryCount(run_->printer().log(), "CRC failures"), 4);
}

TEST_F(UpdaterUnderWine, SilentPrinterTimesOut) {
  startUpdate({"--fault", "3:1:silence"});
  auto typed = std::chrono::steady_clock::now();
  EXPECT_EQ(endReport(), "Blad nr 21: timeout odbierania");
  EXPECT_GE(std::chrono::steady_clock::now() - typed, 2800ms);
  EXPECT_EQ(exitStatus(), 1);
}

TEST_F(UpdaterUnderWine, RegularFileAsThePortIsRefusedAndLeftAlone) {
  const std::string file = run_->directory() + "/com11";
  const std::string content = "not a serial port\n";
  std::ofstream(file) << content;
  fs::remove(comLink());
  fs::create_symlink(file, comLink());
  std::string error, screen;
  ASSERT_TRUE(run_->startProgram({wineRun(), program_}, {}, &error)) << error;
  ASSERT_TRUE(run_->answerPort(kComPort, 60s, &screen)) << screen;
  EXPECT_TRUE(run_->terminal().waitForText("Nie mozna zainicjowac portu COM11!", 30s, &screen))
      << screen;
  EXPECT_EQ(exitStatus(), 1);
  EXPECT_EQ(readFile(file), content);
}

}  // namespace
}  // namespace voren::itest
