// The program run from a script against the simulated printer: options, no
// terminal, standard input from /dev/null, its output read as a log.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "app/glyph_table.h"
#include "tests/integration/updater_run.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;

class CommandLineNatively : public ::testing::Test {
 protected:
  void SetUp() override {
    run_.emplace(::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::string error;
    ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  }

  // The program with these options, COM1 mapped to the printer unless told otherwise.
  CommandResult program(std::vector<std::string> options, bool mapCom1 = true) {
    std::vector<std::string> argv{"env"};
    if (mapCom1) argv.push_back("VOREN_COM1=" + run_->printer().ptyPath());
    argv.push_back(VOREN_CP852_PATH);
    argv.insert(argv.end(), options.begin(), options.end());
    return runCommand(argv, 60s);
  }

  std::string file(const std::string& name) const { return run_->directory() + "/" + name; }

  std::string writeFont(const std::string& name, std::size_t size) const {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 8));
    std::ofstream(file(name), std::ios::binary) << bytes;
    return bytes;
  }

  std::optional<UpdaterRun> run_;
};

TEST_F(CommandLineNatively, PortOptionUploadsWithoutAKeyWaitAndTracesEveryExchange) {
  const auto result = program({"--port", "1", "--trace", file("trace.txt")});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(std::string(kSuccessLine) + "\n"), std::string::npos)
      << result.output;
  EXPECT_EQ(result.output.find(kPortQuestion), std::string::npos) << result.output;

  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());

  // Each block: ESC 1, ACK, first half, status, second half, status.
  std::istringstream trace(readFile(file("trace.txt")));
  const std::regex in(R"(\d+ in (06|00) code 0)"), out(R"(\d+ out( [0-9A-F]{2})+ code 0)");
  int ins = 0, outs = 0, others = 0;
  for (std::string line; std::getline(trace, line);) {
    if (line.starts_with("#")) continue;
    if (std::regex_match(line, in)) {
      ++ins;
    } else if (std::regex_match(line, out)) {
      ++outs;
    } else if (++others < 5) {
      ADD_FAILURE() << "unexpected trace line: " << line;
    }
  }
  EXPECT_EQ(ins, 432);
  EXPECT_EQ(outs, 432);
  EXPECT_EQ(others, 0);
}

TEST_F(CommandLineNatively, DeviceAndFontOptionsPutTheFileIntoThePrinterWithoutAMapping) {
  const std::string font = writeFont("font.bin", kGlyphTableSize);
  const auto result =
      program({"--device", run_->printer().ptyPath(), "--font", file("font.bin")}, false);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == font) << "the printer holds something else";
}

TEST_F(CommandLineNatively, AFontOfAnotherSizeIsRefusedBeforeAnyByteIsSent) {
  writeFont("short.bin", 100);
  const auto result = program({"--port", "1", "--font", file("short.bin")});
  EXPECT_EQ(result.status, 2) << result.output;
  EXPECT_NE(result.output.find("font file '" + file("short.bin") + "': 100 bytes"),
            std::string::npos)
      << result.output;
  run_->stopPrinterAndReadDump();
  EXPECT_EQ(summaryCount(run_->printer().log(), "bytes received"), 0) << run_->printer().log();
}

TEST_F(CommandLineNatively, AMissingPortEndsWithStatusOneAndTheDialoguesText) {
  const auto result = program({"--port", "200"});
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("W tym komputerze nie ma portu COM200!"), std::string::npos)
      << result.output;
}

TEST_F(CommandLineNatively, InformationOptionsAndBadOnes) {
  auto result = program({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, std::string("voren-cp852 ") + VOREN_VERSION + "\n");
  result = program({"--help"});
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(result.output.starts_with("usage: voren-cp852 ")) << result.output;
  result = program({"--list"});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.output.find("COM1 " + run_->printer().ptyPath() + "\n"), std::string::npos)
      << result.output;
  result = program({"--port", "1", "--speed", "9600"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("unknown option '--speed'\nusage: "), std::string::npos)
      << result.output;
}

// Each spelling against a printer that answers NAK to every command, so a
// port reached ends at once with code 24.
class DeviceNamedNatively : public ::testing::TestWithParam<DeviceName> {};

TEST_P(DeviceNamedNatively, IsRefusedOrReachesThePort) {
  const DeviceName& row = GetParam();
  UpdaterRun run(row.name);
  std::string error;
  ASSERT_TRUE(run.startPrinter({"--fault", "*:ack:nak"}, &error)) << error;
  const std::string file = run.directory() + "/" + row.device;
  if (row.fileOfThatName) std::ofstream(file) << "not a port\n";
  const auto result = runCommand(
      {"env", "-C", run.directory(), "VOREN_COM3=" + run.printer().ptyPath(),
       "VOREN_COM10=" + run.printer().ptyPath(), VOREN_CP852_PATH, "--device", row.device},
      60s);
  run.stopPrinterAndReadDump();
  const int received = summaryCount(run.printer().log(), "bytes received");
  if (row.refusal) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output,
              "voren-cp852: device '" + std::string(row.device) + "': " + row.refusal + "\n");
    EXPECT_EQ(received, 0) << run.printer().log();
  } else {
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("Blad nr 24: "), std::string::npos) << result.output;
    EXPECT_GT(received, 0) << run.printer().log();
  }
  if (row.fileOfThatName) {
    EXPECT_EQ(readFile(file), "not a port\n");
  }
}

INSTANTIATE_TEST_SUITE_P(CommandLine, DeviceNamedNatively, ::testing::ValuesIn(kDeviceNames),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren::test
