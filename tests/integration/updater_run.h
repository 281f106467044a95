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

// --device spellings, the same on every system: refused with this reason
// (one line, exit 2, nothing sent, no file touched), or, with no reason,
// COM3 reached. COM10 is mapped to the printer too, so a spelling wrongly
// taken for a port shows as bytes the printer received.
struct DeviceName {
  const char* name;
  const char* device;
  bool fileOfThatName;  // a regular file named like the device in the current folder
  const char* refusal;
};
inline constexpr DeviceName kDeviceNames[] = {
    {"Com0", "COM0", false, "no COM port has the number 0"},
    {"Com10WithAFileOfThatName", "COM10", true,
     R"(COM10 without \\.\ is no name Windows opens; write \\.\COM10)"},
    {"Com10WithoutAFile", "COM10", false,
     R"(COM10 without \\.\ is no name Windows opens; write \\.\COM10)"},
    {"Com256", "COM256", false, "COM ports go up to COM255"},
    {"DevicePrefixCom0", R"(\\.\COM0)", false, "no COM port has the number 0"},
    {"LeadingZero", "COM03", false, "a COM port is named without a leading zero; write COM3"},
    {"DevicePrefixCom3", R"(\\.\COM3)", false, nullptr},
    {"LowerCaseCom3", "com3", false, nullptr},
};
// Checks one row's run (output with line ends as LF) against the stopped
// printer's log; file is the row's file of that name, if it has one.
void expectDeviceNameOutcome(const DeviceName& row, const CommandResult& result,
                             const std::string& printerLog, const std::string& file);

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
