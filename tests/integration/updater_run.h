#pragma once
// One run of the updater against the simulated printer, in a real terminal:
// start the printer, start the program with the printer's pty as a COM port,
// answer the port question, read the end report, press the last key.
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace voren::test {

inline constexpr const char* kPortQuestion = "Podaj numer portu COM";
inline constexpr const char* kSuccessLine = "Aktualizacja strony kodowej zakonczona sukcesem!";
inline constexpr const char* kProgressLabel = "Trwa aktualizacja strony kodowej: ";

struct ProgressSample {
  int row = -1;  // screen row of the progress line
  int percent = -1;
};

// The progress line on a screen, if there is exactly one.
std::optional<ProgressSample> progressOn(const std::string& screen);
// The "Blad nr N: text" line, or the success line, whichever the screen shows.
std::optional<std::string> endReportOn(const std::string& screen);
// A count named in the simulator's summary ("repeats", "CRC failures", ...).
int summaryCount(const std::string& log, const std::string& name);
// The glyph table as the printer's dump holds it after a full update.
std::string glyphTableBytes();

class UpdaterRun {
 public:
  explicit UpdaterRun(std::string name);
  ~UpdaterRun();

  // Starts voren-sim with these arguments (a dump and a lifetime are added).
  bool startPrinter(std::vector<std::string> arguments, std::string* error);
  // Starts the program in a terminal of rows lines with this environment.
  bool startProgram(const std::vector<std::string>& argv,
                    const std::map<std::string, std::string>& env, std::string* error,
                    int rows = 40);
  // Waits for the port question and types the number and Enter.
  bool answerPort(int port, std::chrono::milliseconds timeout, std::string* screen);
  // Waits for the end report, sampling the progress line on the way.
  std::optional<std::string> waitForEndReport(std::chrono::milliseconds timeout,
                                              std::string* screen);
  // Presses the key the program waits for; its exit status.
  std::optional<int> pressKeyAndWaitForExit(std::chrono::milliseconds timeout, std::string* screen);
  // The same two as checks for a test: a missing end report fails it with the
  // screen and the simulator's log, and reads ""; a program that does not end
  // after the key, or leaves the terminal raw, fails it, and no end reads -1.
  std::string expectEndReport(std::chrono::milliseconds timeout, std::string* screen = nullptr);
  int expectExitAfterKey(std::chrono::milliseconds timeout);
  // Stops the printer (it writes its dump and summary) and returns the dump.
  std::string stopPrinterAndReadDump();

  const std::vector<ProgressSample>& progress() const { return progress_; }
  SimulatedPrinterProcess& printer() { return printer_; }
  Terminal& terminal() { return terminal_; }
  const std::string& directory() const { return directory_; }

 private:
  std::string directory_;
  SimulatedPrinterProcess printer_;
  Terminal terminal_;
  std::vector<ProgressSample> progress_;
};

}  // namespace voren::test
