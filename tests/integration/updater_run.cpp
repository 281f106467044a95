#include "tests/integration/updater_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#include "app/glyph_table.h"

namespace voren::test {

std::optional<ProgressSample> progressOn(const std::string& screen) {
  std::istringstream lines(screen);
  std::string line;
  std::optional<ProgressSample> found;
  for (int row = 0; std::getline(lines, line); ++row) {
    if (line.rfind(kProgressLabel, 0) != 0) continue;
    if (found) return std::nullopt;  // two progress lines: not rewritten in place
    found = ProgressSample{row, std::atoi(line.c_str() + std::string(kProgressLabel).size())};
  }
  return found;
}

std::optional<std::string> endReportOn(const std::string& screen) {
  static const std::regex error(R"(Blad nr \d+: [A-Za-z ]+)");
  std::smatch match;
  if (std::regex_search(screen, match, error)) {
    std::string line = match.str();
    return line.substr(0, line.find_last_not_of(' ') + 1);
  }
  if (screen.find(kSuccessLine) != std::string::npos) return std::string(kSuccessLine);
  return std::nullopt;
}

int summaryCount(const std::string& log, const std::string& name) {
  std::smatch match;
  if (!std::regex_search(log, match, std::regex("summary: .*" + name + " (\\d+)"))) return -1;
  return std::stoi(match[1]);
}

std::string glyphTableBytes() {
  const auto& table = glyphTable();
  return std::string(table.begin(), table.end());
}

void expectDeviceNameOutcome(const DeviceName& row, const CommandResult& result,
                             const std::string& printerLog, const std::string& file) {
  const int received = summaryCount(printerLog, "bytes received");
  if (row.refusal) {
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.output,
              "voren-cp852: device '" + std::string(row.device) + "': " + row.refusal + "\n");
    EXPECT_EQ(received, 0) << printerLog;
  } else {
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.output.find("Blad nr 24: "), std::string::npos) << result.output;
    EXPECT_GT(received, 0) << printerLog;
  }
  if (row.fileOfThatName) {
    EXPECT_EQ(readFile(file), "not a port\n");
  }
}

UpdaterRun::UpdaterRun(std::string name) : directory_(makeTempDir("voren-" + name)) {}

UpdaterRun::~UpdaterRun() {
  terminal_.kill();
  printer_.stop();
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

bool UpdaterRun::startPrinter(std::vector<std::string> arguments, std::string* error) {
  arguments.insert(arguments.end(), {"--dump", directory_ + "/dump.bin", "--lifetime", "300"});
  return printer_.start(VOREN_SIM_PATH, arguments, directory_ + "/sim.log", error);
}

bool UpdaterRun::startProgram(const std::vector<std::string>& argv,
                              const std::map<std::string, std::string>& env, std::string* error,
                              int rows) {
  return terminal_.start(argv, env, error, 100, rows);
}

bool UpdaterRun::answerPort(int port, std::chrono::milliseconds timeout, std::string* screen) {
  if (!terminal_.waitForText(kPortQuestion, timeout, screen)) return false;
  terminal_.type(std::to_string(port));
  terminal_.press("Enter");
  return true;
}

std::optional<std::string> UpdaterRun::waitForEndReport(std::chrono::milliseconds timeout,
                                                        std::string* screen) {
  std::optional<std::string> report;
  terminal_.waitFor(
      [&](const std::string& now) {
        if (auto sample = progressOn(now)) {
          if (progress_.empty() || progress_.back().percent != sample->percent ||
              progress_.back().row != sample->row) {
            progress_.push_back(*sample);
          }
        }
        report = endReportOn(now);
        return report.has_value();
      },
      timeout, screen);
  if (!report) return report;
  // The report may have been caught half written: read it again once it rests.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::string settled = terminal_.screen();
  if (screen) *screen = settled;
  return endReportOn(settled);
}

std::optional<int> UpdaterRun::pressKeyAndWaitForExit(std::chrono::milliseconds timeout,
                                                      std::string* screen) {
  terminal_.type("k");
  return terminal_.waitForExit(timeout, screen);
}

std::string UpdaterRun::expectEndReport(std::chrono::milliseconds timeout, std::string* screen) {
  std::string seen;
  const auto report = waitForEndReport(timeout, &seen);
  EXPECT_TRUE(report) << "no end report; screen:\n" << seen << "\nsimulator:\n" << printer_.log();
  if (screen) *screen = seen;
  return report.value_or("");
}

int UpdaterRun::expectExitAfterKey(std::chrono::milliseconds timeout) {
  std::string screen;
  const auto exit = pressKeyAndWaitForExit(timeout, &screen);
  EXPECT_TRUE(exit) << "the program did not end after a key; screen:\n" << screen;
  EXPECT_TRUE(terminal_.terminalRestored()) << screen;
  return exit.value_or(-1);
}

std::string UpdaterRun::stopPrinterAndReadDump() {
  printer_.stop();
  return readFile(directory_ + "/dump.bin");
}

}  // namespace voren::test
