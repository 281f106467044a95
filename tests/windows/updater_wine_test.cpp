// The Windows build of the updater, run under Wine in a real terminal
// against the simulated printer: the Wine prefix's COM11 is a symlink to the
// simulator's pty. COM11 on purpose: ports from COM10 up need the \\.\ form.
//
// Wine and Windows differ here (Windows is the reference):
// - Wine lets a second CreateFileA open a COM port that another Wine program
//   has open (share mode 0); Windows refuses with ERROR_ACCESS_DENIED (5).
//   Wine refuses it only when the holder made the device exclusive
//   (TIOCEXCL), and then with ERROR_LOCK_VIOLATION (33), which the program
//   reads as "in use" too. Wine neither locks the port nor looks for its
//   holders, so that flag is all that keeps it out of a port a native copy
//   holds. The copy sets it on a UART or USB adapter, whose flag goes with
//   the copy's descriptors, not on a pseudo-terminal, where it would outlive
//   a killed copy: a Windows program under Wine opens a pty that a native
//   copy holds. So the in-use row sets the flag on the simulator's pty
//   itself, as the copy sets it on a UART, and the port held by that copy
//   is held by the native program.
// - A serial read time-out completes with FALSE and ERROR_TIMEOUT (1460)
//   under Wine; Windows completes it with TRUE and 0 bytes. The updater sees
//   a failed byte read either way: SilentPrinterTimesOut holds under both.
// - Wine's console in a tmux pane needs no help from us: _getch delivers
//   keys one by one and the exit status comes through wine unchanged.
// - Wine's console in a terminal keeps the size the terminal had when the
//   program started: GetConsoleScreenBufferInfo does not follow a resize
//   (Wine 8.0), so the station's lines follow a resized window on Windows
//   and natively, not under Wine. The station runs here in a window of
//   fixed size.
// - Wine lists (QueryDosDevice, and the SERIALCOMM key alike) only the ports
//   its mount manager made when the wineserver started: the ttyS UARTs it
//   found and those named in HKLM\Software\Wine\Ports, each with its
//   dosdevices link. A dosdevices link made by hand, like COM11 here, opens
//   but is listed by neither. So the port list test names its port in that
//   key and starts a fresh wineserver.
// - Wine's device installer has no devices in the ports class (Wine 8:
//   SetupDiGetClassDevs gives an empty set), so no port has a description;
//   com_ports_windows_test registers such devices itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "app/glyph_table.h"
#include "tests/integration/updater_run.h"
#include "tests/support/station_lines.h"
#include "tests/support/wine.h"

namespace voren::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr int kComPort = 11;
constexpr const char* kPortsKey = R"(HKLM\Software\Wine\Ports)";
// Where the FTDI driver keeps an adapter, as Windows makes it.
constexpr const char* kFtdiBusKey = R"(HKLM\SYSTEM\CurrentControlSet\Enum\FTDIBUS)";

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

class UpdaterUnderWine : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    program_ = windowsProgram();
    if (program_.empty() || access(kWine, X_OK) != 0) return;
    // A Wine program asks its wineserver over a pipe for every event it sets
    // or waits on and for every transfer, several round trips a byte. With
    // the two on different CPUs each round trip wakes the other CPU: a full
    // update took 35 to 49 s and 18 to 27 s of CPU here, on one CPU 9 s and
    // 9.5 s. These rows check what the program does, not how fast, so the
    // suite keeps itself, and with it every process it starts (the
    // wineserver, the simulators), on one CPU. The unit's own tests under
    // Wine (the windows leg) keep every CPU, so its threads still meet on two
    // there.
    keepOnOneCpu();
    // The first use makes the prefix (several seconds); later uses find it.
    CommandResult made = runCommand(underWine({"--version"}), 180s);
    prefixReady_ = made.status == 0 && fs::is_directory(winePrefix() + "/dosdevices");
    prefixProblem_ = made.output;
    // A wineserver started here, kept for a while between programs, rather
    // than one started inside a test's terminal and hung up with it.
    // (Its output goes nowhere, or it would hold our pipe open.)
    startWineserver();
  }

  void SetUp() override {
    if (program_.empty()) {
      GTEST_SKIP() << "no voren-cp852.exe under " << VOREN_WINDOWS_BUILD_DIR
                   << " (build the windows preset first)";
    }
    if (access(kWine, X_OK) != 0) GTEST_SKIP() << kWine << " is not installed";
    ASSERT_TRUE(prefixReady_) << "no Wine prefix at " << winePrefix() << ": " << prefixProblem_;
    // A row of a table is named "Test/Row": one folder name all the same.
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '-');
    run_.emplace(name);
  }

  void TearDown() override {
    run_.reset();
    if (serverKept_) endWineserver();
    fs::remove(comLink());
    for (const auto& link : madeLinks_) fs::remove(link);
    if (ftdiKeyUsed_) runCommand(underWine({"reg", "delete", kFtdiBusKey, "/f"}), 60s);
    // The port list test's port, so that later wineservers make no COM3.
    if (portsKeyUsed_ &&
        runCommand(underWine({"reg", "delete", kPortsKey, "/v", "COM3", "/f"}), 60s).status == 0) {
      fs::remove(winePrefix() + "/dosdevices/com3");
    }
  }

  // Waits for the running wineserver to end (it stays a few seconds after its
  // last program), then starts one the way the suite does and boots the
  // prefix, so the mount manager has read the Ports key before a test runs.
  static void restartWineserver() {
    runCommand({"env", "WINEPREFIX=" + winePrefix(), kWineServer, "-w"}, 120s);
    startWineserver();
    ASSERT_EQ(runCommand(underWine({"cmd", "/c", "exit"}), 120s).status, 0);
  }

  static void endWineserver() {
    runCommand({"env", "WINEPREFIX=" + winePrefix(), kWineServer, "-k"}, 60s);
    runCommand({"env", "WINEPREFIX=" + winePrefix(), kWineServer, "-w"}, 60s);
  }

  static void startWineserver() {
    runCommand({"sh", "-c", "WINEPREFIX=\"$0\" exec \"$1\" -p10 >/dev/null 2>&1", winePrefix(),
                kWineServer});
  }

  static std::string comLink() {
    return winePrefix() + "/dosdevices/com" + std::to_string(kComPort);
  }

  void startUpdate(std::vector<std::string> simArguments) {
    std::string error, screen;
    ASSERT_TRUE(run_->startPrinter(std::move(simArguments), &error)) << error;
    fs::remove(comLink());
    fs::create_symlink(run_->printer().ptyPath(), comLink());
    ASSERT_TRUE(run_->startProgram(underWine({program_}), {}, &error)) << error;
    ASSERT_TRUE(run_->answerPort(kComPort, 60s, &screen)) << screen;
  }

  // The operator types port n, reads these lines with the question after
  // them, and quits with 0: exit status 1.
  void expectRefusedAndQuit(int n, const std::string& lines) {
    std::string error, screen;
    ASSERT_TRUE(run_->startProgram(underWine({program_}), {}, &error)) << error;
    ASSERT_TRUE(run_->answerPort(n, 60s, &screen)) << screen;
    EXPECT_TRUE(run_->terminal().waitFor(
        [&](const std::string& now) {
          const auto at = now.find(lines);
          return at != std::string::npos && now.find(kPortQuestion, at) != std::string::npos;
        },
        30s, &screen))
        << "expected " << lines << "\n"
        << screen;
    run_->terminal().type("0");
    run_->terminal().press("Enter");
    auto exit = run_->terminal().waitForExit(30s, &screen);
    ASSERT_TRUE(exit) << screen;
    EXPECT_EQ(*exit, 1);
  }

  std::string endReport() { return run_->expectEndReport(180s); }
  int exitStatus() { return run_->expectExitAfterKey(30s); }

  static inline std::string program_;
  static inline bool prefixReady_ = false;
  static inline std::string prefixProblem_;
  // Makes the prefix's COMn the printer's pty for this test.
  void linkCom(int n) {
    const std::string link = winePrefix() + "/dosdevices/com" + std::to_string(n);
    fs::remove(link);
    fs::create_symlink(run_->printer().ptyPath(), link);
    madeLinks_.push_back(link);
  }

  std::optional<UpdaterRun> run_;
  bool portsKeyUsed_ = false;
  bool ftdiKeyUsed_ = false;
  bool serverKept_ = false;  // a wineserver without a time limit, ended with the test
  std::vector<std::string> madeLinks_;
};

TEST_F(UpdaterUnderWine, FullUpdateStoresTheGlyphTable) {
  startUpdate({});
  EXPECT_EQ(endReport(), kSuccessLine);
  EXPECT_EQ(exitStatus(), 0);
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes())
      << "the printer holds something else than the table";
  std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "blocks stored"), 144) << log;
  EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
}

TEST_F(UpdaterUnderWine, BlockWithACrcFailureIsSentAgain) {
  startUpdate({"--fault", "5:2:crc"});
  EXPECT_EQ(endReport(), kSuccessLine);
  EXPECT_EQ(exitStatus(), 0);
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());
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

// The ports listed after a missing one are the COM links of the prefix's
// dosdevices.
TEST_F(UpdaterUnderWine, MissingPortListsThePortsOfDosdevices) {
  std::string error, screen;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  portsKeyUsed_ = true;
  ASSERT_EQ(runCommand(underWine({"reg", "add", kPortsKey, "/v", "COM3", "/d",
                                  run_->printer().ptyPath(), "/f"}),
                       60s)
                .status,
            0);
  restartWineserver();
  ASSERT_TRUE(fs::is_symlink(winePrefix() + "/dosdevices/com3"))
      << "Wine's mount manager made no link for COM3";

  std::vector<int> links;
  for (const auto& entry : fs::directory_iterator(winePrefix() + "/dosdevices")) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 3 && name.rfind("com", 0) == 0 &&
        name.find_first_not_of("0123456789", 3) == std::string::npos) {
      links.push_back(std::stoi(name.substr(3)));
    }
  }
  std::sort(links.begin(), links.end());
  // Wine's ports class has no devices: the ports come by number alone.
  std::string expected = "Porty COM w tym komputerze:\n";
  for (int n : links) expected += "  COM" + std::to_string(n) + "\n";

  expectRefusedAndQuit(7, "W tym komputerze nie ma portu COM7!\n" + expected);
}

// From a script: no terminal, standard input from /dev/null, files named by
// their Wine drive path (Z: is the root).
TEST_F(UpdaterUnderWine, PortOptionUploadsWithoutAKeyWaitAndTracesEveryAnswer) {
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  fs::remove(comLink());
  fs::create_symlink(run_->printer().ptyPath(), comLink());
  const std::string trace = run_->directory() + "/trace.txt";
  const auto result = runCommand(
      underWine({program_, "--port", std::to_string(kComPort), "--trace", "Z:" + trace}), 180s);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find(kSuccessLine), std::string::npos) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());

  std::istringstream lines(readFile(trace));
  const std::regex answer(R"(\d+ in (06|00) code 0\r?)");
  int answers = 0;
  for (std::string line; std::getline(lines, line);) answers += std::regex_match(line, answer);
  EXPECT_EQ(answers, 432);
}

// A script's standard output that takes nothing: no failed write may crash
// or block the run, and the printer sees only the protocol; the run ends
// saying the output is not whole. It is open for reading only, so every
// write fails. Not closed: Wine's own start-up then
// takes descriptor 1 for whatever it opens first (the working folder, or
// the pipe to its server as its start-up order falls), and once the
// program's output went into the server's requests and Wine ended it
// ("recvmsg: Connection reset by peer"). The native rows close the streams.
// (With all three closed even cmd's echo ends its process at the first
// write under Wine, so that row could not tell.)
TEST_F(UpdaterUnderWine, ClosedStandardStreamsLeaveTheUploadAlone) {
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  fs::remove(comLink());
  fs::create_symlink(run_->printer().ptyPath(), comLink());
  std::vector<std::string> argv{"sh", "-c", "exec \"$@\" 1</dev/null", "sh"};
  const auto wine = underWine({program_, "--port", std::to_string(kComPort)});
  argv.insert(argv.end(), wine.begin(), wine.end());
  const auto result = runCommand(argv, 180s);
  EXPECT_EQ(result.status, 3) << result.output;
  EXPECT_EQ(result.output,
            "voren-cp852: standard output: not written completely: bad file "
            "descriptor\r\n");
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());
  EXPECT_EQ(summaryCount(run_->printer().log(), "protocol errors"), 0) << run_->printer().log();
}

// An FTDI adapter as its driver enters it in the registry: the ports class,
// and the port's name and latency timer among the device's parameters. Wine's
// SetupAPI finds it there as Windows' does. The delay line names the timer.
// Cheap and unpaced: the printer refuses its fourth block, and its adapter
// holds each of the ten answers 50 ms.
TEST_F(UpdaterUnderWine, AnFtdiAdaptersLatencyTimerIsNamedInTheDelayLine) {
  const std::string device = std::string(kFtdiBusKey) + R"(\VID_0403+PID_6001+VOREN01A\0000)";
  const std::string parameters = device + R"(\Device Parameters)";
  ftdiKeyUsed_ = true;
  for (const std::vector<std::string>& value :
       {std::vector<std::string>{device, "/v", "ClassGUID", "/d",
                                 "{4d36e978-e325-11ce-bfc1-08002be10318}"},
        {parameters, "/v", "PortName", "/d", "COM" + std::to_string(kComPort)},
        {parameters, "/v", "LatencyTimer", "/t", "REG_DWORD", "/d", "50"}}) {
    std::vector<std::string> add{"reg", "add"};
    add.insert(add.end(), value.begin(), value.end());
    add.push_back("/f");
    const auto added = runCommand(underWine(add), 60s);
    ASSERT_EQ(added.status, 0) << added.output;
  }
  std::string error;
  ASSERT_TRUE(run_->startPrinter({"--latency-timer", "50", "--fault", "3:ack:nak"}, &error))
      << error;
  fs::remove(comLink());
  fs::create_symlink(run_->printer().ptyPath(), comLink());
  const auto result = runCommand(underWine({program_, "--port", std::to_string(kComPort)}), 180s);
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_TRUE(std::regex_search(
      result.output,
      std::regex(
          "Blad nr 24: [^\\n]*\\r?\\nAdapter portu COM11 opoznia odpowiedzi drukarki o "
          "\\d+ ms \\(latency timer 50 ms\\), ta aktualizacja trwala przez to o \\d+,\\d s "
          "dluzej\\. Ustaw 1 ms: Menedzer urzadzen, COM11, Ustawienia portu, Zaawansowane\\.")))
      << result.output;
}

TEST_F(UpdaterUnderWine, DeviceOptionTakesTheWindowsNameAndFontTheFile) {
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  fs::remove(comLink());
  fs::create_symlink(run_->printer().ptyPath(), comLink());
  std::string font(voren::kGlyphTableSize, '\0');
  for (std::size_t i = 0; i < font.size(); ++i) font[i] = static_cast<char>(i * 13 + (i >> 9));
  const std::string fontPath = run_->directory() + "/font.bin";
  std::ofstream(fontPath, std::ios::binary) << font;

  const auto result =
      runCommand(underWine({program_, "--device", R"(\\.\COM)" + std::to_string(kComPort), "--font",
                            "Z:" + fontPath}),
                 180s);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == font) << "the printer holds something else";
}

// The native table's spellings (tests/integration), with the program's folder
// as the current one, against a printer that answers NAK to every command.
class DeviceNamedUnderWine : public UpdaterUnderWine,
                             public ::testing::WithParamInterface<DeviceName> {};

TEST_P(DeviceNamedUnderWine, IsRefusedOrReachesThePort) {
  const DeviceName& row = GetParam();
  std::string error;
  ASSERT_TRUE(run_->startPrinter({"--fault", "*:ack:nak"}, &error)) << error;
  linkCom(3);
  linkCom(10);
  const std::string file = run_->directory() + "/" + row.device;
  if (row.fileOfThatName) std::ofstream(file) << "not a port\n";
  std::vector<std::string> argv{"env", "-C", run_->directory()};
  for (auto& part : underWine({program_, "--device", row.device})) argv.push_back(part);
  auto result = runCommand(argv, 120s);
  std::erase(result.output, '\r');
  run_->stopPrinterAndReadDump();
  expectDeviceNameOutcome(row, result, run_->printer().log(), file);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, DeviceNamedUnderWine, ::testing::ValuesIn(kDeviceNames),
                         [](const auto& info) { return std::string(info.param.name); });

struct StationPrinter {
  int port;
  std::vector<std::string> fault;  // voren-sim options; {"absent"}: no printer, no link
  std::string end;                 // the end text on the port's line
};

// Each port once in the window, its line ending with the start of its own
// end text, and no port line reaching the window's last column.
void expectEachPortOnce(const std::vector<std::string>& lines,
                        const std::vector<StationPrinter>& printers, int columns) {
  for (const auto& printer : printers) {
    const std::string port = "COM" + std::to_string(printer.port);
    const auto shown = linesOfPort(lines, port);
    std::string window;
    for (const auto& line : lines) window += line + "\n";
    ASSERT_EQ(shown.size(), 1u) << port << " in the window:\n" << window;
    const std::string& end = shown[0].end;
    EXPECT_TRUE(!end.empty() && (end.starts_with(printer.end) || printer.end.starts_with(end)))
        << port << " ends with '" << end << "'";
  }
  for (const auto& line : lines) {
    if (readPortLine(line)) {
      EXPECT_LT(line.size(), static_cast<std::size_t>(columns)) << line;
    }
  }
}

// A port another program holds: the busy line alone, never called missing,
// typed or given with --port; nothing reaches the printer.
TEST_F(UpdaterUnderWine, PortHeldExclusivelyByANativeCopyIsInUseNotMissing) {
  std::string error, screen;
  ASSERT_TRUE(run_->startPrinter({"--baud", "1200"}, &error)) << error;
  linkCom(3);
  Terminal holder;
  ASSERT_TRUE(holder.start({VOREN_CP852_PATH, "--port", "3"},
                           {{"VOREN_COM3", run_->printer().ptyPath()}}, &error))
      << error;
  ASSERT_TRUE(holder.waitForText(kProgressLabel, 10s, &screen)) << screen;
  // Exclusive, as the copy makes a UART (see the top of this file).
  const int pty = ::open(run_->printer().ptyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(pty, 0);
  ASSERT_EQ(ioctl(pty, TIOCEXCL), 0);
  close(pty);
  // The wineserver opens the devices for its programs. As root it passes
  // TIOCEXCL, so it runs here without CAP_SYS_ADMIN, as a user's would: the
  // running one is ended (none of this suite's programs runs now) and one
  // is kept until the test ends, so that no other starts in its place.
  endWineserver();
  serverKept_ = true;
  const std::string asUser =
      geteuid() == 0 ? "setpriv --inh-caps=-sys_admin --bounding-set=-sys_admin " : "";
  runCommand({"sh", "-c", "WINEPREFIX=\"$0\" exec " + asUser + "\"$1\" -p >/dev/null 2>&1",
              winePrefix(), kWineServer});

  const std::string lines = "\nPort COM3 jest zajety przez inny program.\n";
  expectRefusedAndQuit(3, lines + "\n");

  auto result = runCommand(underWine({program_, "--port", "3"}), 120s);
  std::erase(result.output, '\r');
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.output.find(lines), std::string::npos) << result.output;
  EXPECT_EQ(result.output.find("Porty COM"), std::string::npos) << result.output;
  EXPECT_EQ(result.output.find("nie ma portu"), std::string::npos) << result.output;

  // The station in an 80 x 24 window: the busy port's end is wider than it.
  Terminal station;
  ASSERT_TRUE(
      station.start(underWine({program_, "--port", "3", "--port", "15"}), {}, &error, 80, 24))
      << error;
  const auto stationExit = station.waitForExit(120s, &screen);
  ASSERT_TRUE(stationExit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*stationExit, 1) << screen;
  expectEachPortOnce(station.lines(),
                     {{3, {}, "Port COM3 jest zajety przez inny program."},
                      {15, {}, "W tym komputerze nie ma portu COM15! "}},
                     80);

  // Bytes of a second sender would have broken the holder's blocks.
  run_->stopPrinterAndReadDump();
  const std::string log = run_->printer().log();
  EXPECT_EQ(summaryCount(log, "CRC failures"), 0) << log;
  EXPECT_EQ(summaryCount(log, "protocol errors"), 0) << log;
}

// Windows opens a COM name as the port, a plain COM5 in the current folder
// too: such a trace would be written into the printer.
TEST_F(UpdaterUnderWine, ATraceNamedAsThePortIsRefused) {
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  linkCom(5);
  auto result = runCommand(underWine({program_, "--port", "5", "--trace", "COM5"}), 120s);
  std::erase(result.output, '\r');
  EXPECT_EQ(result.status, 2) << result.output;
  EXPECT_EQ(result.output, "voren-cp852: trace file 'COM5': the port 'COM5' itself\n");
  run_->stopPrinterAndReadDump();
  EXPECT_EQ(summaryCount(run_->printer().log(), "bytes received"), 0) << run_->printer().log();
}

// NUL is a device that cannot be made anew, only opened: it takes the trace.
TEST_F(UpdaterUnderWine, TheNullDeviceTakesTheTrace) {
  std::string error;
  ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  linkCom(5);
  auto result = runCommand(underWine({program_, "--port", "5", "--trace", "NUL"}), 180s);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());
}

TEST_F(UpdaterUnderWine, RegularFileAsThePortIsRefusedAndLeftAlone) {
  const std::string file = run_->directory() + "/com11";
  const std::string content = "not a serial port\n";
  std::ofstream(file) << content;
  fs::remove(comLink());
  fs::create_symlink(file, comLink());
  std::string error, screen;
  ASSERT_TRUE(run_->startProgram(underWine({program_}), {}, &error)) << error;
  ASSERT_TRUE(run_->answerPort(kComPort, 60s, &screen)) << screen;
  EXPECT_TRUE(run_->terminal().waitForText("Nie mozna zainicjowac portu COM11!", 30s, &screen))
      << screen;
  EXPECT_EQ(exitStatus(), 1);
  EXPECT_EQ(readFile(file), content);
}

// The station under Wine: a child process per port (CreateProcessA with
// inherited pipe handles), each port its own simulator behind a dosdevices
// link.
class StationUnderWine : public UpdaterUnderWine {
 protected:
  void TearDown() override {
    others_.clear();
    for (int port : links_) fs::remove(winePrefix() + "/dosdevices/com" + std::to_string(port));
    UpdaterUnderWine::TearDown();
  }

  // Starts a simulator per printer (COM11 is the run's own, its dump kept)
  // and the station over all of them in a terminal.
  void startStation(const std::vector<StationPrinter>& printers,
                    const std::vector<std::string>& common = {}, int columns = 100, int rows = 40) {
    const auto argv = startPrinters(printers, common);
    if (argv.empty()) return;
    std::string error;
    ASSERT_TRUE(run_->terminal().start(underWine(argv), {}, &error, columns, rows)) << error;
  }

  // A simulator per printer; the station's command line over them (empty
  // when one did not start).
  std::vector<std::string> startPrinters(const std::vector<StationPrinter>& printers,
                                         const std::vector<std::string>& common) {
    std::vector<std::string> argv{program_};
    for (const auto& printer : printers) {
      argv.insert(argv.end(), {"--port", std::to_string(printer.port)});
      if (printer.fault == std::vector<std::string>{"absent"}) continue;
      std::string error;
      auto arguments = printer.fault;
      arguments.insert(arguments.end(), common.begin(), common.end());
      SimulatedPrinterProcess* process = &run_->printer();
      bool started = false;
      if (printer.port == kComPort) {
        started = run_->startPrinter(arguments, &error);
      } else {
        arguments.insert(arguments.end(), {"--lifetime", "300"});
        const std::string log = run_->directory() + "/sim" + std::to_string(printer.port) + ".log";
        process = &others_[printer.port];
        started = process->start(VOREN_SIM_PATH, arguments, log, &error);
        links_.push_back(printer.port);
      }
      EXPECT_TRUE(started) << error;
      if (!started) return {};
      const std::string link = winePrefix() + "/dosdevices/com" + std::to_string(printer.port);
      fs::remove(link);
      fs::create_symlink(process->ptyPath(), link);
    }
    return argv;
  }

  // The end text on the port's line, checked, and the summary's line for it.
  std::string expectLineEnd(const std::string& screen, const StationPrinter& printer) {
    const std::string port = "COM" + std::to_string(printer.port);
    std::smatch match;
    const bool found =
        std::regex_search(screen, match, std::regex("\n" + port + " +\\d+%  ([^\\n]*)"));
    EXPECT_TRUE(found) << port << "\n" << screen;
    EXPECT_EQ(found ? match[1].str() : "", printer.end) << port << "\n" << screen;
    return "  " + port + ": " + printer.end + "\n";
  }

  std::map<int, SimulatedPrinterProcess> others_;
  std::vector<int> links_;
};

// A sound printer beside a silent, a hanging-up and a refusing one.
std::vector<StationPrinter> soundAndThreeFaulty() {
  return {
      {kComPort, {}, kSuccessLine},
      {12, {"--fault", "2:1:silence"}, "Blad nr 21: timeout odbierania"},
      {13, {"--fault", "72:1:hangup"}, "Blad nr 21: timeout odbierania"},
      {14,
       {"--fault", "0:ack:nak"},
       "Blad nr 24: drukarka odpowiedziala NAK na sekwencje sterujaca"},
  };
}

// The sound printer gets the table, each faulty one ends with its own code,
// and the summary lists exactly those.
TEST_F(StationUnderWine, UpdatesSeveralPrintersAndListsTheFailedOnes) {
  const std::vector<StationPrinter> printers = soundAndThreeFaulty();
  startStation(printers);
  std::string screen;
  const auto exit = run_->terminal().waitForExit(240s, &screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  std::string failed;
  for (const auto& printer : printers) {
    const std::string summaryLine = expectLineEnd(screen, printer);
    if (printer.end != kSuccessLine) failed += summaryLine;
  }
  EXPECT_NE(screen.find("Zaktualizowano 1 z 4 drukarek.\nNie zaktualizowano:\n" + failed),
            std::string::npos)
      << screen;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes())
      << "the sound printer holds something else than the table";
}

// A missing port's end (the missing-port line and the port list) is wider
// than an 80 x 24 window: each line is cut to it, the summary keeps it whole.
// (No upload: the Wine leg's printers cost a minute each.)
TEST_F(StationUnderWine, LinesFitAnEightyColumnWindow) {
  const std::vector<StationPrinter> printers = {
      {15, {"absent"}, "W tym komputerze nie ma portu COM15! "},
      {16, {"absent"}, "W tym komputerze nie ma portu COM16! "}};
  startStation(printers, {}, 80, 24);
  std::string screen;
  const auto exit = run_->terminal().waitForExit(120s, &screen);
  ASSERT_TRUE(exit) << "the station did not end; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  expectEachPortOnce(run_->terminal().lines(), printers, 80);
  EXPECT_NE(screen.find("\n  COM15: W tym komputerze nie ma portu COM15! "), std::string::npos)
      << screen;
}

// --json under Wine: every line parses, each port's events come in order
// and end with the text its screen line shows, the summary gives the exit
// status.
TEST_F(StationUnderWine, JsonEventsInOrderEndingAsTheScreenDoes) {
  const std::vector<StationPrinter> printers = soundAndThreeFaulty();
  auto argv = startPrinters(printers, {});
  ASSERT_FALSE(argv.empty());
  argv.push_back("--json");
  const CommandResult result = runCommand(underWine(argv), 240s);
  ASSERT_NE(result.status, -1) << result.output;
  EXPECT_EQ(result.status, 1) << result.output;

  std::vector<nlohmann::json> events;
  std::istringstream lines(result.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with('\r')) line.pop_back();
    auto event = nlohmann::json::parse(line, nullptr, false);
    EXPECT_TRUE(event.is_object()) << "not a JSON object: " << line;
    if (event.is_object()) events.push_back(std::move(event));
  }
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"], "start");
  for (const auto& printer : printers) {
    const std::string port = "COM" + std::to_string(printer.port);
    std::vector<nlohmann::json> mine;
    for (const auto& event : events) {
      if (event.value("port", "") == port) mine.push_back(event);
    }
    ASSERT_GE(mine.size(), 2u) << port;
    EXPECT_EQ(mine.front()["event"], "port") << port;
    EXPECT_EQ(mine.back()["event"], "end") << port;
    EXPECT_EQ(mine.back()["text"], printer.end) << port;
    unsigned next = 0;
    // Wine's own delay may bring the adapter's note before the end.
    for (std::size_t i = 1; i + 1 < mine.size(); ++i) {
      if (mine[i]["event"] == "note") continue;
      EXPECT_EQ(mine[i]["event"], "progress") << mine[i];
      EXPECT_EQ(mine[i]["block"], next++) << mine[i];
    }
    EXPECT_EQ(mine.back()["outcome"], printer.end == kSuccessLine ? "updated" : "failed") << port;
  }
  EXPECT_EQ(events.back()["event"], "summary");
  EXPECT_EQ(events.back()["status"], result.status);
  EXPECT_EQ(events.back()["updated"], 1);
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());
}

// Ctrl-C in Wine's console is a console control event: it reaches the
// station alone (its children are in process groups of their own), which
// stops each child after its block; every port is closed, no child is left.
TEST_F(StationUnderWine, CtrlCStopsEveryChildAndClosesEveryPort) {
  const char* stopped = "Przerwano, aktualizacja niedokonczona";
  const std::vector<StationPrinter> printers = {{kComPort, {}, stopped}, {12, {}, stopped}};
  startStation(printers, {"--baud", "9600"});
  std::string screen;
  ASSERT_TRUE(run_->terminal().waitFor(
      [](const std::string& now) {
        return std::regex_search(now, std::regex("COM11 +[1-9]\\d*%")) &&
               std::regex_search(now, std::regex("COM12 +[1-9]\\d*%"));
      },
      120s, &screen))
      << screen;
  run_->terminal().press("C-c");
  const auto exit = run_->terminal().waitForExit(30s, &screen);
  ASSERT_TRUE(exit) << "the station did not end after Ctrl-C; screen:\n" << screen;
  EXPECT_EQ(*exit, 1) << screen;
  std::string unfinished;
  for (const auto& printer : printers) unfinished += expectLineEnd(screen, printer);
  EXPECT_NE(screen.find("Zaktualizowano 0 z 2 drukarek.\nNie zaktualizowano:\n" + unfinished),
            std::string::npos)
      << screen;
  // Wine's own process may linger a moment after the Windows one has ended.
  const auto childLeft = [] {
    return runCommand({"pgrep", "-f", "--", "voren-cp852.exe --station-child"}).status != 1;
  };
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (childLeft() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(100ms);
  }
  EXPECT_FALSE(childLeft()) << "a child outlived the station";
  EXPECT_TRUE(run_->printer().waitForLog("the peer closed the line", 5s))
      << run_->printer().log();
  EXPECT_TRUE(others_[12].waitForLog("the peer closed the line", 5s)) << others_[12].log();
}

}  // namespace
}  // namespace voren::test
