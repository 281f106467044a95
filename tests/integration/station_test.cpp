// The station end to end: several ports in one run, each its own simulated
// printer, the program in a real terminal. Each row is a mix of printers;
// the screen must show each port's line with its own end, the summary must
// list exactly the ports that failed, the sound printers must hold the
// table, and no child process may be left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/glyph_table.h"
#include "tests/integration/updater_run.h"
#include "tests/support/station_lines.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;

const char* kNak = "Blad nr 24: drukarka odpowiedziala NAK na sekwencje sterujaca";
const char* kReceive = "Blad nr 21: timeout odbierania";
// The printer on COM5 hangs its line up: its pseudo-terminal goes, as an
// adapter pulled out does.
const char* kGone =
    "Blad nr 21: timeout odbierania Port COM5 zostal odlaczony od komputera (adapter USB "
    "wyjety?).";
const char* kStopped = "Przerwano, aktualizacja niedokonczona";

struct Printer {
  int port;  // COMn
  // voren-sim options; {"absent"}: no printer, COMn mapped to nothing there;
  // {"busy"}: a printer whose port another program holds.
  std::vector<std::string> fault;
  std::string end;        // the end text on the port's line
  bool byDevice = false;  // named by its pty's path, with no COM mapping
  bool longName = false;  // by device, through a link as long as a by-id name
};

struct MixRow {
  const char* name;
  std::vector<Printer> printers;
  int exit;
};

void PrintTo(const MixRow& row, std::ostream* out) { *out << row.name; }

const std::vector<MixRow> kMixes = {
    {"ThreeSoundPrinters",
     {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}, {5, {}, kSuccessLine}},
     0},
    {"PortsAndADevice",
     {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}, {5, {}, kSuccessLine, true}},
     0},
    {"SilentHangingUpRefusingAndSound",
     {{3, {}, kSuccessLine},
      {4, {"--fault", "2:1:silence"}, kReceive},
      {5, {"--fault", "72:1:hangup"}, kGone},
      {6, {"--fault", "0:ack:nak"}, kNak},
      {7, {}, kSuccessLine}},
     1},
    {"AMissingPortAmongSoundOnes",
     {{3, {}, kSuccessLine},
      {9, {"absent"}, "W tym komputerze nie ma portu COM9!"},
      {4, {}, kSuccessLine}},
     1},
};

// The port's line: its name, the percentage, its end text.
std::optional<std::string> endOnLine(const std::string& screen, const std::string& name) {
  std::smatch match;
  const std::regex line("(^|\\n)" + name + " +\\d+%  ([^\\n]*)");
  if (!std::regex_search(screen, match, line)) return std::nullopt;
  return match[2].str();
}

class StationFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = c == '/' ? '-' : c;
    directory_ = makeTempDir("voren-station-" + name);
  }
  void TearDown() override {
    terminal_.kill();
    for (const int held : held_) close(held);
    printers_.clear();
    std::filesystem::remove_all(directory_);
  }

  // How the station names the port.
  std::string nameOf(const Printer& printer) {
    if (printer.longName) {
      return directory_ + "/by-id/usb-VOREN_Receipt_Printer_0123456789-if00-port" +
             std::to_string(printer.port);
    }
    return printer.byDevice ? printers_[printer.port].ptyPath()
                            : "COM" + std::to_string(printer.port);
  }

  std::string dumpOf(int port) const {
    return directory_ + "/dump" + std::to_string(port) + ".bin";
  }

  // Starts a printer for each port that has one; the program's environment.
  std::map<std::string, std::string> startPrinters(const std::vector<Printer>& printers,
                                                   std::vector<std::string> common = {}) {
    std::map<std::string, std::string> env;
    for (const auto& printer : printers) {
      if (printer.fault == std::vector<std::string>{"absent"}) {
        env["VOREN_COM" + std::to_string(printer.port)] =
            directory_ + "/no-such-port-" + std::to_string(printer.port);
        continue;
      }
      const bool busy = printer.fault == std::vector<std::string>{"busy"};
      auto arguments = busy ? std::vector<std::string>{} : printer.fault;
      arguments.insert(arguments.end(), common.begin(), common.end());
      arguments.insert(arguments.end(), {"--dump", dumpOf(printer.port), "--lifetime", "300"});
      auto& process = printers_[printer.port];
      std::string error;
      const std::string log = directory_ + "/sim" + std::to_string(printer.port) + ".log";
      EXPECT_TRUE(process.start(VOREN_SIM_PATH, arguments, log, &error)) << error;
      if (!printer.byDevice) env["VOREN_COM" + std::to_string(printer.port)] = process.ptyPath();
      if (printer.longName) {
        std::filesystem::create_directories(directory_ + "/by-id");
        std::filesystem::create_symlink(process.ptyPath(), nameOf(printer));
      }
      if (busy) {
        // Held as another copy of the program holds its port.
        const int held = open(process.ptyPath().c_str(), O_RDWR | O_NOCTTY);
        EXPECT_EQ(flock(held, LOCK_EX | LOCK_NB), 0) << process.ptyPath();
        held_.push_back(held);
      }
    }
    return env;
  }

  std::vector<std::string> portOptions(const std::vector<Printer>& printers) {
    std::vector<std::string> argv{VOREN_CP852_PATH};
    for (const auto& printer : printers) {
      if (printer.byDevice) {
        argv.insert(argv.end(), {"--device", nameOf(printer)});
      } else {
        argv.insert(argv.end(), {"--port", std::to_string(printer.port)});
      }
    }
    return argv;
  }

  // Runs the program until it ends, noting its children on the way.
  std::optional<int> runToTheEnd(std::string* screen) {
    const auto deadline = std::chrono::steady_clock::now() + 90s;
    std::optional<int> exit;
    while (!exit && std::chrono::steady_clock::now() < deadline) {
      if (const auto pid = terminal_.programPid()) {
        for (pid_t child : childrenOf(*pid)) children_.insert(child);
      }
      exit = terminal_.waitForExit(50ms, screen);
    }
    return exit;
  }

  void expectNoChildLeft() {
    EXPECT_FALSE(children_.empty()) << "no child process was seen";
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    for (pid_t child : children_) {
      while (!processGone(child) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
      }
      EXPECT_TRUE(processGone(child)) << "child " << child << " outlived the station";
    }
  }

  std::string directory_;
  std::map<int, SimulatedPrinterProcess> printers_;
  std::vector<int> held_;  // ports held as by another program
  Terminal terminal_;
  std::set<pid_t> children_;
};

class Station : public StationFixture, public ::testing::WithParamInterface<MixRow> {};

TEST_P(Station, EachPortEndsWithItsOwnReportAndTheSummaryListsTheFailedOnes) {
  const MixRow& row = GetParam();
  const auto env = startPrinters(row.printers);
  std::string error, screen;
  // Wide enough for the longest end whole, on its line and in the summary.
  ASSERT_TRUE(terminal_.start(portOptions(row.printers), env, &error, 120)) << error;
  const auto exit = runToTheEnd(&screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, row.exit) << screen;
  EXPECT_TRUE(terminal_.terminalRestored()) << screen;

  std::vector<std::string> lines;
  std::istringstream rows(screen);
  for (std::string line; std::getline(rows, line);) lines.push_back(line);
  std::string failed;
  std::string rerun = VOREN_CP852_PATH;
  int updated = 0;
  for (const auto& printer : row.printers) {
    const std::string port = nameOf(printer);
    // One line per port, rewritten in place.
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.starts_with(port + " "); }),
              1)
        << screen;
    // A missing port's line goes on with the ports this computer has.
    const auto end = endOnLine(screen, port);
    EXPECT_TRUE(end && end->starts_with(printer.end))
        << port << " ends with " << end.value_or("no line") << "\n"
        << screen;
    if (printer.end == kSuccessLine) {
      ++updated;
      printers_[printer.port].stop();
      EXPECT_TRUE(readFile(dumpOf(printer.port)) == glyphTableBytes())
          << port << " holds something else than the table";
    } else {
      failed += "  " + port + ": " + *end + "\n";
      rerun += printer.byDevice ? " --device " + port : " --port " + std::to_string(printer.port);
    }
  }
  // The summary, then exactly the ports that failed, each with its end,
  // and last the command for those alone.
  std::string summary = "Zaktualizowano " + std::to_string(updated) + " z " +
                        std::to_string(row.printers.size()) + " drukarek.\n";
  if (!failed.empty()) {
    summary += "Nie zaktualizowano:\n" + failed +
               "Aby zaktualizowac tylko te drukarki, uruchom:\n" + rerun + "\n";
  }
  EXPECT_NE(screen.find("\n" + summary + "\n[exit"), std::string::npos) << screen;
  expectNoChildLeft();
}

INSTANTIATE_TEST_SUITE_P(PortMixes, Station, ::testing::ValuesIn(kMixes),
                         [](const auto& info) { return std::string(info.param.name); });

// Windows that do not suit the station's lines: too narrow for a line, too
// short for the block, resized, or the program stopped and continued with
// the shell writing meanwhile. At the end the window shows each port once
// with its own end (where the block cannot fit, each port's last line in
// the scroll-back is its end).
enum class Meanwhile { Nothing, Resize, StopAndContinue };

struct WindowRow {
  const char* name;
  int columns;
  int rows;
  std::vector<Printer> printers;
  Meanwhile meanwhile = Meanwhile::Nothing;
  bool appended = false;
};

void PrintTo(const WindowRow& row, std::ostream* out) { *out << row.name; }

const char* kBusy = "Port COM4 jest zajety przez inny program.";

std::vector<Printer> thirtyPorts() {
  std::vector<Printer> printers;
  for (int n = 1; n <= 30; ++n) {
    if (n == 3 || n == 4) {
      printers.push_back({n, {}, kSuccessLine});
    } else {
      printers.push_back({n, {"absent"}, "W tym komputerze nie ma portu COM" + std::to_string(n)});
    }
  }
  return printers;
}

const std::vector<WindowRow> kWindows = {
    {"BusyPortAt80x24", 80, 24, {{3, {}, kSuccessLine}, {4, {"busy"}, kBusy}}},
    {"LongNamesAt70Columns",
     70,
     24,
     {{3, {}, kSuccessLine, true, true}, {4, {"--fault", "0:ack:nak"}, kNak, true, true}}},
    {"ThirtyPortsIn24Rows", 80, 24, thirtyPorts(), Meanwhile::Nothing, true},
    {"NarrowedAndShortenedMidRun",
     100,
     40,
     {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}, {5, {}, kSuccessLine, true, true}},
     Meanwhile::Resize},
    {"StoppedAndContinued",
     80,
     24,
     {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}, {5, {}, kSuccessLine}},
     Meanwhile::StopAndContinue},
};

class StationWindow : public StationFixture, public ::testing::WithParamInterface<WindowRow> {};

TEST_P(StationWindow, ShowsEachPortOnceWithItsOwnEnd) {
  const WindowRow& row = GetParam();
  // Paced where something happens part way, so that there is a part way.
  const auto env = startPrinters(row.printers, row.meanwhile == Meanwhile::Nothing
                                                   ? std::vector<std::string>{}
                                                   : std::vector<std::string>{"--baud", "115200"});
  std::string error, screen;
  const auto command = portOptions(row.printers);
  if (row.meanwhile == Meanwhile::StopAndContinue) {
    // A shell with job control, as the operator's.
    ASSERT_TRUE(terminal_.start({"bash", "--norc", "--noprofile", "-i"}, env, &error, row.columns,
                                row.rows))
        << error;
    ASSERT_TRUE(terminal_.waitForLine("[$#]$", 10s)) << terminal_.screen();
    std::string line;
    for (const auto& word : command) line += "'" + word + "' ";
    terminal_.type(line);
    terminal_.press("Enter");
  } else {
    ASSERT_TRUE(terminal_.start(command, env, &error, row.columns, row.rows)) << error;
  }
  if (row.meanwhile != Meanwhile::Nothing) {
    ASSERT_TRUE(terminal_.waitFor(
        [&](const std::string& now) {
          std::vector<std::string> lines;
          std::istringstream rows(now);
          for (std::string line; std::getline(rows, line);) lines.push_back(line);
          return std::all_of(row.printers.begin(), row.printers.end(), [&](const Printer& p) {
            const auto shown = linesOfPort(lines, nameOf(p));
            return !shown.empty() && shown.back().percent >= 5;
          });
        },
        30s, &screen))
        << screen;
  }
  if (row.meanwhile == Meanwhile::Resize) terminal_.resize(40, 12);
  if (row.meanwhile == Meanwhile::StopAndContinue) {
    terminal_.press("C-z");
    ASSERT_TRUE(terminal_.waitForText("Stopped", 10s, &screen)) << screen;
    terminal_.type("fg; exit $?");
    terminal_.press("Enter");
  }
  const auto exit = runToTheEnd(&screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  const bool allUpdated = std::all_of(row.printers.begin(), row.printers.end(),
                                      [](const Printer& p) { return p.end == kSuccessLine; });
  EXPECT_EQ(*exit, allUpdated ? 0 : 1) << screen;

  const auto lines = row.appended ? terminal_.history() : terminal_.lines();
  for (const auto& printer : row.printers) {
    const auto shown = linesOfPort(lines, nameOf(printer));
    ASSERT_FALSE(shown.empty()) << nameOf(printer) << "\n" << screen;
    if (!row.appended) {
      EXPECT_EQ(shown.size(), 1u) << nameOf(printer) << "\n" << screen;
    }
    const std::string& end = shown.back().end;
    EXPECT_TRUE(!end.empty() && (end.starts_with(printer.end) || printer.end.starts_with(end)))
        << nameOf(printer) << " ends with '" << end << "'\n"
        << screen;
    if (printer.end == kSuccessLine) {
      EXPECT_EQ(shown.back().percent, 100) << screen;
    }
  }
  // No line reached the window's last column.
  const int columns = row.meanwhile == Meanwhile::Resize ? 40 : row.columns;
  for (const auto& line : lines) {
    if (readPortLine(line)) {
      EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << line;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Windows, StationWindow, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

using StationRun = StationFixture;

TEST_F(StationRun, CtrlCStopsEveryChildAndClosesEveryPort) {
  // Paced, so the uploads are under way when the key comes.
  const std::vector<Printer> printers = {{3, {}, kStopped}, {4, {}, kStopped}, {5, {}, kStopped}};
  const auto env = startPrinters(printers, {"--baud", "9600"});
  std::string error, screen;
  ASSERT_TRUE(terminal_.start(portOptions(printers), env, &error)) << error;
  ASSERT_TRUE(terminal_.waitFor(
      [](const std::string& now) {
        return std::regex_search(now, std::regex("COM3 +[1-9]\\d*%")) &&
               std::regex_search(now, std::regex("COM5 +[1-9]\\d*%"));
      },
      30s, &screen))
      << screen;
  const pid_t station = terminal_.programPid().value_or(-1);
  for (pid_t child : childrenOf(station)) children_.insert(child);
  ASSERT_EQ(children_.size(), 3u);
  // The terminal's Ctrl-C goes to its foreground process group: the
  // children must not be in the station's.
  for (pid_t child : children_) EXPECT_NE(getpgid(child), getpgid(station)) << child;
  // What the terminal's Ctrl-C does, sent to the station alone: the pane's
  // wrapper shell, in the same process group, would go with it otherwise.
  ASSERT_EQ(::kill(station, SIGINT), 0);
  // Each child stops after its block; the station's bound for a child that
  // does not, before it kills it, is ten seconds.
  const auto exit = terminal_.waitForExit(6s, &screen);
  ASSERT_TRUE(exit) << "the station did not end within 6 s of Ctrl-C; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  EXPECT_TRUE(terminal_.terminalRestored()) << screen;
  std::string unfinished;
  for (const auto& printer : printers) {
    EXPECT_EQ(endOnLine(screen, nameOf(printer)).value_or("no line"), kStopped) << screen;
    unfinished += "  COM" + std::to_string(printer.port) + ": " + kStopped + "\n";
  }
  EXPECT_NE(screen.find("Zaktualizowano 0 z 3 drukarek.\nNie zaktualizowano:\n" + unfinished),
            std::string::npos)
      << screen;
  expectNoChildLeft();
  for (auto& [port, printer] : printers_) {
    EXPECT_TRUE(printer.waitForLog("the peer closed the line", 5s))
        << "COM" << port << " was not closed: " << printer.log();
  }
}

TEST_F(StationRun, AKilledStationLeavesNoChildAndNoPortOpen) {
  const std::vector<Printer> printers = {{3, {}, kStopped}, {4, {}, kStopped}};
  const auto env = startPrinters(printers, {"--baud", "9600"});
  std::string error, screen;
  ASSERT_TRUE(terminal_.start(portOptions(printers), env, &error)) << error;
  ASSERT_TRUE(terminal_.waitForLine("^COM4 +[1-9]\\d*%", 30s)) << terminal_.screen();
  const pid_t station = terminal_.programPid().value_or(-1);
  for (pid_t child : childrenOf(station)) children_.insert(child);
  ASSERT_EQ(children_.size(), 2u);
  ASSERT_EQ(::kill(station, SIGKILL), 0);
  // The children see their input end and stop after their block.
  expectNoChildLeft();
  for (auto& [port, printer] : printers_) {
    EXPECT_TRUE(printer.waitForLog("the peer closed the line", 5s))
        << "COM" << port << " was not closed: " << printer.log();
  }
}

TEST_F(StationRun, AChildThatDiesStopsNoOtherPrinter) {
  const std::vector<Printer> printers = {
      {3, {}, "Blad: proces aktualizacji zakonczyl sie bez raportu"}, {4, {}, kSuccessLine}};
  const auto env = startPrinters(printers, {"--baud", "38400"});
  std::string error, screen;
  ASSERT_TRUE(terminal_.start(portOptions(printers), env, &error)) << error;
  ASSERT_TRUE(terminal_.waitForLine("^COM3 +[1-9]\\d*%", 30s)) << terminal_.screen();
  const pid_t station = terminal_.programPid().value_or(-1);
  for (pid_t child : childrenOf(station)) {
    children_.insert(child);
    if (readFile("/proc/" + std::to_string(child) + "/cmdline")
            .find(std::string("--port\0003", 8)) != std::string::npos) {
      ASSERT_EQ(::kill(child, SIGKILL), 0);
    }
  }
  const auto exit = runToTheEnd(&screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  for (const auto& printer : printers) {
    EXPECT_EQ(endOnLine(screen, nameOf(printer)).value_or("no line"), printer.end) << screen;
  }
  EXPECT_NE(screen.find("Zaktualizowano 1 z 2 drukarek.\nNie zaktualizowano:\n  COM3: " +
                        printers[0].end + "\n"),
            std::string::npos)
      << screen;
  printers_[4].stop();
  EXPECT_TRUE(readFile(dumpOf(4)) == glyphTableBytes()) << "COM4 holds something else";

  // The killed child's claim on COM3 ended with it, for a user too.
  auto probe = asUserWithoutSysAdmin();
  if (!probe) return;
  probe->insert(probe->end(),
                {"env", "VOREN_COM3=" + env.at("VOREN_COM3"), VOREN_OPEN_PROBE, R"(\\.\COM3)"});
  auto opened = runCommand(*probe);
  for (const auto end = std::chrono::steady_clock::now() + 5s;
       opened.status != 0 && std::chrono::steady_clock::now() < end; opened = runCommand(*probe)) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(opened.status, 0) << "COM3 stayed taken after its child was killed";
}

// A trace that cannot be written whole stops no upload: its port counts as
// updated, its child's line comes under the summary, and the status is 3.
TEST_F(StationRun, ATraceNotWrittenWholeEndsWithThree) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::vector<Printer> printers = {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}};
  const auto env = startPrinters(printers);
  std::filesystem::create_symlink("/dev/full", directory_ + "/wire-COM3.txt");
  std::vector<std::string> argv{"env"};
  for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
  const auto options = portOptions(printers);
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"--trace", directory_ + "/wire.txt"});
  const auto result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, 3) << result.output;
  EXPECT_NE(result.output.find("\nZaktualizowano 2 z 2 drukarek.\nCOM3: voren-cp852: trace file '" +
                               directory_ + "/wire-COM3.txt': "),
            std::string::npos)
      << result.output;
}

// A script's closed standard stream takes the place of no pipe and no port:
// every printer holds the table and saw nothing but the protocol.
TEST_F(StationRun, ClosedStandardStreamsReachNoPrinter) {
  for (const char* closed : {"<&-", ">&-", "2>&-", "<&- >&- 2>&-"}) {
    SCOPED_TRACE(closed);
    const std::vector<Printer> printers = {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}};
    const auto env = startPrinters(printers);
    std::vector<std::string> argv{"sh", "-c", std::string("exec \"$@\" ") + closed, "sh", "env"};
    for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
    const auto options = portOptions(printers);
    argv.insert(argv.end(), options.begin(), options.end());
    const auto result = runCommand(argv, 90s);
    EXPECT_EQ(result.status, 0) << result.output;
    for (const auto& printer : printers) {
      printers_[printer.port].stop();
      EXPECT_TRUE(readFile(dumpOf(printer.port)) == glyphTableBytes()) << printer.port;
      EXPECT_EQ(summaryCount(printers_[printer.port].log(), "protocol errors"), 0)
          << printers_[printer.port].log();
    }
    printers_.clear();
  }
}

// What the station refuses before any child starts: one line, exit 2, not a
// byte to either printer. "{pty3}" is COM3's device, "{dir}" the test's folder.
TEST_F(StationRun, RefusedPortsAndTracesStartNoChild) {
  const std::vector<Printer> printers = {{3, {}, ""}, {4, {}, ""}};
  const auto env = startPrinters(printers);
  std::filesystem::create_symlink(printers_[3].ptyPath(), directory_ + "/printer");
  const struct {
    std::vector<std::string> options;
    std::string refusal;
  } rows[] = {
      {{"--port", "3", "--device", "{pty3}"}, "the port 'COM3' is named twice, also as '{pty3}'"},
      {{"--device", "{pty3}", "--port", "4", "--device", "{dir}/printer"},
       "the port '{pty3}' is named twice, also as '{dir}/printer'"},
      {{"--device", "{pty3}", "--device", "{pty3dot}"},
       "the port '{pty3}' is named twice, also as '{pty3dot}'"},
      {{"--port", "3", "--port", "4", "--trace", "{pty3}"},
       "trace file '{pty3}': the port 'COM3' itself"},
      {{"--port", "3", "--port", "4", "--trace", "{dir}/out/"},
       "trace file '{dir}/out/': folder '{dir}/out' does not exist"},
      {{"--port", "3", "--port", "4", "--trace", "{dir}"}, "trace file '{dir}': a directory"},
      {{"--port", "3", "--port", "4", "--trace", "/sys/wire.txt"},
       "trace file '/sys/wire-COM3.txt': cannot be created: permission denied"},
      {{"--port", "3", "--port", "4", "--trace", "/dev/ptmx"},
       "trace file '/dev/ptmx': a terminal"},
      // Without a terminal (setsid below) /dev/tty is a device none can open.
      {{"--port", "3", "--port", "4", "--trace", "/dev/tty"},
       "trace file '/dev/tty': cannot be created: no such device or address"},
  };
  const std::string pty3 = printers_[3].ptyPath();
  const auto filled = [&](std::string text) {
    const std::pair<std::string, std::string> marks[] = {
        {"{pty3dot}", "/dev/./" + pty3.substr(5)}, {"{pty3}", pty3}, {"{dir}", directory_}};
    for (const auto& [mark, value] : marks) {
      for (auto at = text.find(mark); at != text.npos; at = text.find(mark)) {
        text.replace(at, mark.size(), value);
      }
    }
    return text;
  };
  for (const auto& row : rows) {
    std::vector<std::string> argv{"setsid", "-w", "env"};
    for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
    argv.push_back(VOREN_CP852_PATH);
    for (const auto& option : row.options) argv.push_back(filled(option));
    const auto result = runCommand(argv, 10s);
    EXPECT_EQ(result.status, 2) << result.output;
    EXPECT_EQ(result.output, "voren-cp852: " + filled(row.refusal) + "\n");
  }
  for (auto& [port, printer] : printers_) {
    printer.stop();
    EXPECT_EQ(summaryCount(printer.log(), "bytes received"), 0) << "COM" << port;
  }
}

// The terminal the program runs in is no port and no trace: a child would
// stop on it (SIGTTOU) and the station wait for ever, and the trace would
// write over the screen. /dev/tty reaches it under a number of its own.
TEST_F(StationRun, ItsOwnTerminalIsNoPortAndNoTrace) {
  const std::vector<Printer> printers = {{3, {}, ""}, {4, {}, ""}};
  const auto env = startPrinters(printers);
  std::string script;
  for (const char* options :
       {"--device \"$(tty)\"", "--trace /dev/tty", "--port 4 --trace /dev/tty"})
    script += std::string("\"$0\" --port 3 ") + options + "; echo \"[status $?]\"; ";
  std::string error, screen;
  ASSERT_TRUE(terminal_.start({"sh", "-c", script, VOREN_CP852_PATH}, env, &error)) << error;
  const auto exit = terminal_.waitForExit(20s, &screen);
  ASSERT_TRUE(exit) << "the runs did not end; screen:\n" << screen;
  // Not "[exit N]": that is the harness's own mark of the script's end.
  EXPECT_TRUE(std::regex_search(
      screen, std::regex("voren-cp852: device '/dev/pts/\\d+': the program's own terminal\n"
                         "\\[status 2\\]\n"
                         "voren-cp852: trace file '/dev/tty': the program's own terminal\n"
                         "\\[status 2\\]\n"
                         "voren-cp852: trace file '/dev/tty': the program's own terminal\n"
                         "\\[status 2\\]\n")))
      << screen;
}

// A device given as the trace is every port's trace as it is: /dev/full takes
// none of it, so both printers are updated and the status is 3.
TEST_F(StationRun, ADeviceTraceIsEveryPortsTrace) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const std::vector<Printer> printers = {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}};
  const auto env = startPrinters(printers);
  std::vector<std::string> argv{"env"};
  for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
  const auto options = portOptions(printers);
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(), {"--trace", "/dev/full"});
  const auto result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, 3) << result.output;
  for (const char* port : {"COM3", "COM4"}) {
    EXPECT_NE(result.output.find(std::string("\n") + port +
                                 ": voren-cp852: trace file '/dev/full': not written completely"),
              std::string::npos)
        << result.output;
    EXPECT_FALSE(std::filesystem::exists(std::string("/dev/full-") + port));
  }
}

// A device linked under a name that holds an escape sequence and a carriage
// return: the summary stays on the screen, and the command shown, which
// shows no control byte, updates that printer when the operator's shell runs it.
TEST_F(StationRun, ANameThatWouldDriveTheTerminalLeavesTheSummaryAndARunnableCommand) {
  const std::vector<Printer> printers = {{3, {}, kSuccessLine},
                                         {4, {"--fault", "*:ack:nak"}, kNak, true}};
  const auto env = startPrinters(printers);
  const std::string evil = directory_ + "/evil\x1b[2J\x1b[H\rFAKE: all printers updated";
  std::filesystem::create_symlink(printers_[4].ptyPath(), evil);
  std::string error, screen;
  // Wide enough for the command on one row.
  ASSERT_TRUE(
      terminal_.start({VOREN_CP852_PATH, "--port", "3", "--device", evil}, env, &error, 250, 40))
      << error;
  const auto exit = runToTheEnd(&screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  const std::string shown = std::string(VOREN_CP852_PATH) + " --device $'" + directory_ +
                            "/evil\\033[2J\\033[H\\015FAKE: all printers updated'";
  EXPECT_NE(screen.find("\nZaktualizowano 1 z 2 drukarek.\nNie zaktualizowano:\n  " + directory_ +
                        "/evil?[2J?[H?FAKE: all printers updated: " + kNak +
                        "\nAby zaktualizowac tylko te drukarki, uruchom:\n" + shown + "\n"),
            std::string::npos)
      << screen;

  printers_[4].stop();
  std::filesystem::remove(dumpOf(4));
  startPrinters({{4, {}, kSuccessLine, true}});
  std::filesystem::remove(evil);
  std::filesystem::create_symlink(printers_[4].ptyPath(), evil);
  const auto again = runCommand({"bash", "-c", shown}, 60s);
  EXPECT_EQ(again.status, 0) << shown << "\n" << again.output;
  printers_[4].stop();
  EXPECT_TRUE(readFile(dumpOf(4)) == glyphTableBytes()) << again.output;
}

// The program upgraded while the station runs: the command shown names the
// program as it was started, which runs the new one, not the file that has gone.
TEST_F(StationRun, AfterAnUpgradeMidRunTheCommandNamesTheProgramAsStarted) {
  const std::string program = directory_ + "/bin/voren-cp852";
  std::filesystem::create_directories(directory_ + "/bin");
  std::filesystem::copy_file(VOREN_CP852_PATH, program);
  // Paced, so that the upgrade comes while COM3 is being updated.
  const std::vector<Printer> printers = {{3, {}, kSuccessLine}, {4, {"absent"}, ""}};
  const auto env = startPrinters(printers, {"--baud", "115200"});
  std::string error, screen;
  // Wide enough for the command on one row.
  ASSERT_TRUE(terminal_.start({program, "--port", "3", "--port", "4"}, env, &error, 250, 40))
      << error;
  ASSERT_TRUE(terminal_.waitFor(
      [&](const std::string& now) {
        std::vector<std::string> lines;
        std::istringstream rows(now);
        for (std::string line; std::getline(rows, line);) lines.push_back(line);
        const auto shown = linesOfPort(lines, "COM3");
        return !shown.empty() && shown.back().percent >= 5;
      },
      30s, &screen))
      << screen;
  // As a package manager does it: the new file in beside, then renamed over.
  std::filesystem::copy_file(VOREN_CP852_PATH, program + ".new");
  std::filesystem::rename(program + ".new", program);
  const auto exit = runToTheEnd(&screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  EXPECT_NE(screen.find("Zaktualizowano 1 z 2 drukarek."), std::string::npos) << screen;
  EXPECT_NE(screen.find("uruchom:\n" + program + " --port 4\n"), std::string::npos) << screen;
}

// Started through the dynamic loader, which is then the file this process
// runs: the copies are the program still, not the loader, and the command
// names the program.
TEST_F(StationRun, StartedThroughTheLoaderItsCopiesRunTheProgram) {
  const std::string loader = "/lib64/ld-linux-x86-64.so.2";
  if (!std::filesystem::exists(loader)) GTEST_SKIP() << "no " << loader << " here";
  const std::vector<Printer> printers = {{3, {}, kSuccessLine},
                                         {4, {"--fault", "*:ack:nak"}, kNak}};
  const auto env = startPrinters(printers);
  std::vector<std::string> argv{"env"};
  for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
  argv.insert(argv.end(), {loader, VOREN_CP852_PATH});
  const auto options = portOptions(printers);
  argv.insert(argv.end(), options.begin() + 1, options.end());
  const auto result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("Zaktualizowano 1 z 2 drukarek.\n"), std::string::npos)
      << result.output;
  EXPECT_NE(result.output.find("uruchom:\n" + std::string(VOREN_CP852_PATH) + " --port 4\n"),
            std::string::npos)
      << result.output;
}

// Delayed answers are named under the summary, for their own port. Cheap
// and unpaced: each printer refuses its fourth block, and COM4's adapter
// holds each of its ten answers 100 ms. The ports are pseudo-terminals, no
// adapters: the line says the answers came late.
TEST_F(StationRun, DelayedAnswersAreNamedUnderTheSummaryForTheirPort) {
  const std::vector<Printer> printers = {
      {3, {"--fault", "3:ack:nak"}, kNak},
      {4, {"--fault", "3:ack:nak", "--latency-timer", "100"}, kNak}};
  const auto env = startPrinters(printers);
  std::vector<std::string> argv{"env"};
  for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
  const auto options = portOptions(printers);
  argv.insert(argv.end(), options.begin(), options.end());
  const auto result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_TRUE(std::regex_search(result.output,
                                std::regex("\nZaktualizowano 0 z 2 drukarek\\.\n(.+\n)*COM4: "
                                           "Odpowiedzi drukarki na porcie COM4 przychodza z "
                                           "opoznieniem \\d+ ms, ta aktualizacja trwala przez "
                                           "to o \\d+,\\d s")))
      << result.output;
  EXPECT_EQ(result.output.find("COM3: Odpowiedzi"), std::string::npos) << result.output;
}

// From a script: no terminal, a line each tenth; the font and the traces.
TEST_F(StationRun, FontAndTracesFromAScriptWithAppendedLines) {
  const std::vector<Printer> printers = {{3, {}, kSuccessLine}, {4, {}, kSuccessLine}};
  const auto env = startPrinters(printers);
  std::string font(kGlyphTableSize, '\0');
  for (std::size_t i = 0; i < font.size(); ++i) font[i] = static_cast<char>(i * 7 + (i >> 10));
  std::ofstream(directory_ + "/font.bin", std::ios::binary) << font;

  std::vector<std::string> argv{"env"};
  for (const auto& [name, value] : env) argv.push_back(name + "=" + value);
  const auto options = portOptions(printers);
  argv.insert(argv.end(), options.begin(), options.end());
  argv.insert(argv.end(),
              {"--font", directory_ + "/font.bin", "--trace", directory_ + "/wire.txt"});
  const auto result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, 0) << result.output;
  for (const auto& printer : printers) {
    const std::string port = "COM" + std::to_string(printer.port);
    // The port's first line, every tenth appended, then 100 with the end
    // report and no bare 100 before it: the same at any load.
    std::vector<std::string> expected{port + "   0%"};
    for (int tenth = 10; tenth < 100; tenth += 10) {
      expected.push_back(port + "  " + std::to_string(tenth) + "%");
    }
    expected.push_back(port + " 100%  " + kSuccessLine);
    std::vector<std::string> lines;
    std::istringstream output(result.output);
    for (std::string line; std::getline(output, line);) {
      if (line.starts_with(port + " ")) lines.push_back(line);
    }
    EXPECT_EQ(lines, expected) << result.output;
    printers_[printer.port].stop();
    EXPECT_TRUE(readFile(dumpOf(printer.port)) == font) << port << " holds something else";
    std::istringstream trace(readFile(directory_ + "/wire-" + port + ".txt"));
    int answers = 0;
    for (std::string line; std::getline(trace, line);) {
      answers += std::regex_match(line, std::regex(R"(\d+ in (06|00) code 0)"));
    }
    EXPECT_EQ(answers, 432) << port;
  }
  EXPECT_FALSE(std::filesystem::exists(directory_ + "/wire.txt"));
}

}  // namespace
}  // namespace voren::test
