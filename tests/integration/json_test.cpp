// --json end to end: the real program against simulated printers, its
// standard output read as a script would. Every line must parse, each
// port's events must come in order (opened or refused, blocks taken one
// after the other with the repeats between them, then the end), the end
// must say what the screen says for the same printer, and the exit status
// must be the one the screen's run gives.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "tests/integration/updater_run.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;

struct PrinterRow {
  const char* name;
  std::vector<std::string> fault;  // voren-sim options; {"absent"}: no printer at all
  const char* outcome;
  int repeats;
  // How the end's text ends, when the port said more than the report.
  const char* then = nullptr;
};

void PrintTo(const PrinterRow& row, std::ostream* out) { *out << row.name; }

const PrinterRow kPrinters[] = {
    {"Sound", {}, "updated", 0},
    {"DamagedBlockSentAgain", {"--fault", "5:2:crc"}, "updated", 1},
    {"Silent", {"--fault", "2:1:silence"}, "failed", 0},
    {"HangingUp",
     {"--fault", "72:1:hangup"},
     "failed",
     0,
     "Port COM3 zostal odlaczony od komputera (adapter USB wyjety?)."},
    {"Refusing", {"--fault", "0:ack:nak"}, "failed", 0},
    {"Missing", {"absent"}, "failed", 0},
    // Each answer held 16 ms on a paced line; too few answers for the
    // adapter's line on the screen.
    {"SilentBehindAnAdapter",
     {"--baud", "38400", "--latency-timer", "16", "--fault", "2:1:silence"},
     "failed",
     0},
};

// Every line of output against docs/json-events.schema.json.
void expectValid(const std::string& output, const std::string& directory) {
  const std::string lines = directory + "/events.jsonl";
  std::ofstream(lines) << output;
  const char* check = R"(
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
for n, line in enumerate(open(sys.argv[2]), 1):
    for error in jsonschema.Draft202012Validator(schema).iter_errors(json.loads(line)):
        print("line %d: %s: %s" % (n, error.message, line.strip()))
)";
  const CommandResult result = runCommand({"python3", "-c", check, VOREN_JSON_SCHEMA, lines}, 30s);
  EXPECT_TRUE(result.status == 0 && result.output.empty()) << result.output;
}

// The lines of output, each parsed; a line that does not parse fails the test.
std::vector<Json> eventsOf(const std::string& output) {
  std::vector<Json> events;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    Json event = Json::parse(line, nullptr, false);
    EXPECT_TRUE(event.is_object()) << "not a JSON object: " << line;
    if (event.is_object()) events.push_back(std::move(event));
  }
  return events;
}

// One port's events in the order they must come; its end, or null.
Json expectInOrder(const std::vector<Json>& events, const std::string& port, int repeats) {
  std::vector<Json> mine;
  for (const auto& event : events) {
    if (event.value("port", "") == port) mine.push_back(event);
  }
  EXPECT_GE(mine.size(), 2u) << port;
  if (mine.size() < 2) return nullptr;
  EXPECT_EQ(mine.front()["event"], "port") << mine.front();
  const bool opened = mine.front().value("opened", false);
  EXPECT_EQ(mine.back()["event"], "end") << mine.back();
  std::uint32_t next = 0;
  int repeated = 0;
  for (std::size_t i = 1; i + 1 < mine.size(); ++i) {
    const Json& event = mine[i];
    EXPECT_TRUE(opened) << "an event after a refused port: " << event;
    if (event["event"] == "progress") {
      EXPECT_EQ(event["block"], next) << event;
      EXPECT_EQ(event["percent"], (next + 1) * 100 / 144) << event;
      ++next;
    } else if (event["event"] == "note") {
      // What the screen shows beside the report: the adapter's delay.
    } else if (event["event"] == "repeat") {
      EXPECT_EQ(event["block"], next) << "a repeat of a block not being sent: " << event;
      ++repeated;
    } else {
      ADD_FAILURE() << "out of place: " << event;
    }
  }
  EXPECT_EQ(repeated, repeats) << port;
  const Json& end = mine.back();
  if (end["outcome"] == "updated") {
    EXPECT_EQ(next, 144u) << port;
  }
  if (!opened) {
    EXPECT_EQ(mine.front()["text"], end["text"]) << port;
    EXPECT_TRUE(end["code"].is_null()) << end;
  }
  EXPECT_GE(end["seconds"].get<double>(), 0) << end;
  return end;
}

class JsonRun : public ::testing::TestWithParam<PrinterRow> {
 protected:
  void SetUp() override {
    std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    for (char& c : name) c = c == '/' ? '-' : c;
    directory_ = makeTempDir("voren-json-" + name);
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }

  // The program with COM3 on a fresh printer of this row (or none).
  CommandResult runWith(const PrinterRow& row, std::vector<std::string> options,
                        const std::string& log) {
    SimulatedPrinterProcess printer;
    std::vector<std::string> argv{"env"};
    if (row.fault != std::vector<std::string>{"absent"}) {
      auto arguments = row.fault;
      arguments.insert(arguments.end(), {"--lifetime", "60"});
      std::string error;
      EXPECT_TRUE(printer.start(VOREN_SIM_PATH, arguments, directory_ + "/" + log, &error))
          << error;
      argv.push_back("VOREN_COM3=" + printer.ptyPath());
    } else {
      argv.push_back("VOREN_COM3=" + directory_ + "/none");
    }
    argv.insert(argv.end(), {VOREN_CP852_PATH, "--port", "3"});
    argv.insert(argv.end(), options.begin(), options.end());
    return runCommand(argv, 30s);
  }

  std::string directory_;
};

TEST_P(JsonRun, OnePortsEventsInOrderEndingAsTheScreenDoes) {
  const PrinterRow& row = GetParam();
  const CommandResult screen = runWith(row, {}, "screen.log");
  const std::string trace = directory_ + "/wire.txt";
  const CommandResult json = runWith(row, {"--json", "--trace", trace}, "json.log");
  ASSERT_NE(json.status, -1) << "the run did not end:\n" << json.output;
  EXPECT_EQ(json.status, screen.status);

  const auto events = eventsOf(json.output);
  expectValid(json.output, directory_);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front()["event"], "start");
  EXPECT_EQ(events.front()["ports"], Json::array({"COM3"}));
  EXPECT_EQ(events.front()["font"], Json({{"source", "built-in"}}));
  const Json end = expectInOrder(events, "COM3", row.repeats);
  ASSERT_TRUE(end.is_object());
  EXPECT_EQ(events.back(), end) << "the end is the last line";
  EXPECT_EQ(end["outcome"], row.outcome);

  // The screen's run printed the same text after its banner and progress,
  // its lines joined.
  std::string shown;
  std::istringstream lines(screen.output);
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line.starts_with("Program ") || line.starts_with(kProgressLabel)) continue;
    shown += (shown.empty() ? "" : " ") + line;
  }
  EXPECT_EQ(end["text"], shown);
  if (row.then) {
    EXPECT_TRUE(shown.ends_with(std::string(" ") + row.then)) << shown;
  }
  // The answers' median wait in milliseconds, as the trace's last line
  // gives it in microseconds.
  std::smatch waits;
  const std::string traced = readFile(trace);
  if (std::regex_search(traced, waits,
                        std::regex("# answers [1-9][0-9]*, wait median ([0-9]+) us"))) {
    ASSERT_TRUE(end["median_wait_ms"].is_number()) << end;
    EXPECT_NEAR(end["median_wait_ms"].get<double>() * 1000, std::stod(waits[1]), 1.0) << end;
  } else {
    EXPECT_TRUE(end["median_wait_ms"].is_null()) << end << "\n" << traced;
  }
  if (end["outcome"] == "updated") {
    EXPECT_EQ(end["code"], 0);
  } else if (!end["code"].is_null()) {
    EXPECT_TRUE(shown.starts_with("Blad nr " + std::to_string(end["code"].get<int>()) + ": "))
        << shown;
  }
}

INSTANTIATE_TEST_SUITE_P(Printers, JsonRun, ::testing::ValuesIn(kPrinters),
                         [](const auto& info) { return std::string(info.param.name); });

// A user the device keeps out: a port event of its own reason, with the
// screen's lines, then the end; the program runs as an unprivileged user.
TEST_F(JsonRun, AUserTheDeviceKeepsOutHasAReasonOfItsOwn) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
    GTEST_SKIP() << "needs root and setpriv to run the program as another user";
  }
  SimulatedPrinterProcess printer;
  std::string error;
  ASSERT_TRUE(printer.start(VOREN_SIM_PATH, {"--lifetime", "60"}, directory_ + "/sim.log", &error))
      << error;
  const std::string pty = printer.ptyPath();
  ASSERT_EQ(chown(pty.c_str(), 0, 0), 0);
  ASSERT_EQ(chmod(pty.c_str(), 0600), 0);
  const CommandResult json =
      runCommand({"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "env",
                  "VOREN_COM3=" + pty, programForAnyUser(VOREN_CP852_PATH, directory_), "--port",
                  "3", "--json"},
                 30s);
  EXPECT_EQ(json.status, 1) << json.output;
  expectValid(json.output, directory_);
  const auto events = eventsOf(json.output);
  ASSERT_EQ(events.size(), 3u) << json.output;
  EXPECT_EQ(events[1]["reason"], "no-permission") << events[1];
  EXPECT_TRUE(events[1]["text"].get<std::string>().starts_with("Brak uprawnien do portu COM3 (" +
                                                               pty + ")."))
      << events[1];
  EXPECT_EQ(events[2]["outcome"], "failed");
}

// Several printers, each its own simulator mapped as COM3, COM4, ...
class Printers {
 public:
  explicit Printers(std::string directory) : directory_(std::move(directory)) {}

  // A printer with these voren-sim options on port; its dump is kept.
  void start(int port, std::vector<std::string> fault) {
    fault.insert(fault.end(), {"--dump", dump(port), "--lifetime", "120"});
    std::string error;
    const std::string log = directory_ + "/sim" + std::to_string(port) + ".log";
    EXPECT_TRUE(printers_[port].start(VOREN_SIM_PATH, fault, log, &error)) << error;
  }
  std::vector<std::string> env() {
    std::vector<std::string> argv{"env"};
    for (const auto& [port, printer] : printers_) {
      argv.push_back("VOREN_COM" + std::to_string(port) + "=" + printer.ptyPath());
    }
    return argv;
  }
  // Whether the printer holds the table, after it is stopped.
  bool holdsTheTable(int port) {
    printers_[port].stop();
    return readFile(dump(port)) == glyphTableBytes();
  }
  std::string dump(int port) const { return directory_ + "/dump" + std::to_string(port) + ".bin"; }
  std::string pty(int port) { return printers_[port].ptyPath(); }

 private:
  std::string directory_;
  std::map<int, SimulatedPrinterProcess> printers_;
};

class JsonStation : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = makeTempDir(std::string("voren-json-station-") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::string directory_;
};

TEST_F(JsonStation, EachPortsEventsInOrderAndASummaryThatMatchesTheExitStatus) {
  const PrinterRow* rows[] = {&kPrinters[0], &kPrinters[2], &kPrinters[3], &kPrinters[4]};
  std::vector<std::string> names;
  // The same printers for the screen's run and the JSON run: the ends must
  // read the same.
  const auto run = [&](std::vector<std::string> options) {
    Printers printers(directory_);
    for (int i = 0; i < 4; ++i) printers.start(3 + i, rows[i]->fault);
    auto argv = printers.env();
    argv.push_back(VOREN_CP852_PATH);
    for (int i = 0; i < 4; ++i) argv.insert(argv.end(), {"--port", std::to_string(3 + i)});
    argv.insert(argv.end(), options.begin(), options.end());
    return runCommand(argv, 60s);
  };
  for (int i = 0; i < 4; ++i) names.push_back("COM" + std::to_string(3 + i));
  const CommandResult screen = run({});
  const CommandResult json = run({"--json"});
  ASSERT_NE(json.status, -1) << json.output;
  EXPECT_EQ(json.status, screen.status);
  EXPECT_EQ(json.status, 1);

  const auto events = eventsOf(json.output);
  expectValid(json.output, directory_);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.front()["event"], "start");
  EXPECT_EQ(events.front()["ports"], Json(names));
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const Json& e) { return e["event"] == "start"; }),
            1);
  std::vector<std::string> notUpdated;
  for (int i = 0; i < 4; ++i) {
    const Json end = expectInOrder(events, names[i], rows[i]->repeats);
    ASSERT_TRUE(end.is_object()) << names[i];
    EXPECT_EQ(end["outcome"], std::string(rows[i]->outcome)) << names[i];
    // The port's line on the screen ends with the same text.
    const std::string text = end["text"];
    EXPECT_NE(screen.output.find("%  " + text + "\n"), std::string::npos)
        << names[i] << ": " << text << "\n"
        << screen.output;
    if (end["outcome"] != "updated") notUpdated.push_back(names[i]);
  }
  const Json& summary = events.back();
  EXPECT_EQ(summary["event"], "summary");
  EXPECT_EQ(summary["updated"], 1);
  EXPECT_EQ(summary["ports"], 4);
  EXPECT_EQ(summary["not_updated"], Json(notUpdated));
  EXPECT_EQ(summary["status"], json.status);
  EXPECT_TRUE(summary["rerun"].get<std::string>().ends_with(" --port 4 --port 5 --port 6 --json"))
      << summary["rerun"];
}

// Devices named by links whose names differ only in a letter the screen
// shows as '?', and one whose name is not UTF-8: the events name each as
// given (as --list --json does; U+FFFD for the stray byte), so a script
// tells them apart, and each gets a trace of its own.
TEST_F(JsonStation, NamesPortsAsGivenAndTracesEachApart) {
  const std::string kasa = directory_ + "/kasa-";
  const std::vector<std::string> devices = {kasa + "\u0105", kasa + "\u0119", kasa + "\xff"};
  Printers printers(directory_);
  printers.start(3, {});
  printers.start(4, {"--fault", "*:ack:nak"});
  printers.start(5, {});
  std::vector<std::string> argv{VOREN_CP852_PATH};
  for (int i = 0; i < 3; ++i) {
    std::filesystem::create_symlink(printers.pty(3 + i), devices[i]);
    argv.insert(argv.end(), {"--device", devices[i]});
  }
  argv.insert(argv.end(), {"--json", "--trace", directory_ + "/wire.txt"});
  const CommandResult run = runCommand(argv, 60s);
  EXPECT_EQ(run.status, 1) << run.output;
  const auto events = eventsOf(run.output);
  expectValid(run.output, directory_);
  ASSERT_GE(events.size(), 2u) << run.output;
  const std::vector<std::string> named = {devices[0], devices[1], kasa + "\ufffd"};
  EXPECT_EQ(events.front()["ports"], Json(named)) << run.output;
  for (int i = 0; i < 3; ++i) {
    const Json end = expectInOrder(events, named[i], 0);
    ASSERT_TRUE(end.is_object()) << named[i] << "\n" << run.output;
    EXPECT_EQ(end["outcome"], i == 1 ? "failed" : "updated") << end;
    EXPECT_GT(std::filesystem::file_size(directory_ + "/wire-kasa-" +
                                         devices[i].substr(kasa.size()) + ".txt"),
              0u)
        << devices[i];
  }
  const Json& summary = events.back();
  EXPECT_EQ(summary["not_updated"], Json(std::vector<std::string>{devices[1]})) << summary;
  EXPECT_NE(summary["rerun"].get<std::string>().find("--device '" + devices[1] + "'"),
            std::string::npos)
      << summary;
}

// The line the station prints last, run as printed by a shell against sound
// printers, updates exactly the printers that were not updated, with the
// same font and a trace where the station put that port's.
TEST_F(JsonStation, TheRerunLineUpdatesExactlyThePrintersNotUpdated) {
  const std::string font = directory_ + "/my font's.bin";
  {
    const std::string table = glyphTableBytes();
    std::ofstream(font, std::ios::binary).write(table.data(), static_cast<long>(table.size()));
  }
  const std::string trace = directory_ + "/wire.txt";
  std::vector<std::string> ports;
  {
    Printers first(directory_);
    for (int port = 3; port <= 6; ++port) {
      first.start(port, port == 4 || port == 6 ? std::vector<std::string>{"--fault", "*:ack:nak"}
                                               : std::vector<std::string>{});
    }
    auto argv = first.env();
    argv.insert(argv.end(), {VOREN_CP852_PATH, "--port", "3", "--port", "4", "--port", "5",
                             "--port", "6", "--font", font, "--trace", trace});
    const CommandResult station = runCommand(argv, 60s);
    EXPECT_EQ(station.status, 1) << station.output;
    const std::string header = "Aby zaktualizowac tylko te drukarki, uruchom:\n";
    const auto at = station.output.find(header);
    ASSERT_NE(at, std::string::npos) << station.output;
    std::string rerun = station.output.substr(at + header.size());
    ASSERT_TRUE(rerun.ends_with("\n")) << "the command is the summary's last line: " << rerun;
    rerun.pop_back();
    ASSERT_EQ(rerun.find('\n'), std::string::npos) << rerun;
    ports.push_back(rerun);
  }
  std::filesystem::remove(directory_ + "/wire-COM4.txt");
  std::filesystem::remove(directory_ + "/wire-COM6.txt");

  Printers sound(directory_);
  for (int port = 3; port <= 6; ++port) {
    std::filesystem::remove(sound.dump(port));
    sound.start(port, {});
  }
  auto argv = sound.env();
  argv.insert(argv.end(), {"sh", "-c", ports.front()});
  const CommandResult again = runCommand(argv, 60s);
  EXPECT_EQ(again.status, 0) << ports.front() << "\n" << again.output;
  EXPECT_NE(again.output.find("Zaktualizowano 2 z 2 drukarek."), std::string::npos) << again.output;
  EXPECT_TRUE(sound.holdsTheTable(4));
  EXPECT_TRUE(sound.holdsTheTable(6));
  EXPECT_FALSE(sound.holdsTheTable(3)) << "COM3 was updated again";
  EXPECT_FALSE(sound.holdsTheTable(5)) << "COM5 was updated again";
  EXPECT_TRUE(std::filesystem::file_size(directory_ + "/wire-COM4.txt") > 0);
  EXPECT_TRUE(std::filesystem::file_size(directory_ + "/wire-COM6.txt") > 0);
}

// An output the user breaks (a reader that closes, a full disk, a trace on
// a full disk) stops no upload: every printer holds the table, the status
// says the output is not whole (a failed update's 1 stays), and standard
// error has one line naming the output and the reason.
struct BrokenOutputRow {
  const char* name;
  std::vector<int> ports;            // sound printers, COM3 up
  std::vector<std::string> options;  // besides the ports
  const char* shell;                 // what the run's standard output goes to, for bash
  int status;
  const char* error;  // all of standard error, {dir} the test's folder
  // A note each port's JSON must hold before that port's end, if any.
  const char* note = nullptr;
  std::vector<std::string> fault = {};  // voren-sim options for every printer
};

void PrintTo(const BrokenOutputRow& row, std::ostream* out) { *out << row.name; }

constexpr const char* kPipeClosed =
    "voren-cp852: standard output: not written completely: broken pipe\n";
constexpr const char* kDiskFull =
    "voren-cp852: standard output: not written completely: no space left on device\n";
constexpr const char* kTraceLost =
    "voren-cp852: trace file '/dev/full': not written completely: no space left on device";

const BrokenOutputRow kBrokenOutputs[] = {
    {"JsonIntoAReaderThatCloses", {3}, {"--json"}, "| head -n 2 >\"$0.out\"", 3, kPipeClosed},
    {"ScreenIntoAReaderThatCloses", {3}, {}, "| head -n 1 >\"$0.out\"", 3, kPipeClosed},
    {"JsonIntoAFullDisk", {3}, {"--json"}, ">/dev/full", 3, kDiskFull},
    {"ScreenIntoAFullDisk", {3}, {}, ">/dev/full", 3, kDiskFull},
    {"FailedUpdateIntoAFullDiskStaysFailed",
     {3},
     {"--json"},
     ">/dev/full",
     1,
     kDiskFull,
     nullptr,
     {"--fault", "0:ack:nak"}},
    {"JsonWithATraceOnAFullDisk",
     {3},
     {"--json", "--trace", "/dev/full"},
     ">\"$0.out\"",
     3,
     "voren-cp852: trace file '/dev/full': not written completely: no space left on device\n",
     kTraceLost},
    {"StationJsonIntoAReaderThatCloses",
     {3, 4},
     {"--json"},
     "| head -n 2 >\"$0.out\"",
     3,
     kPipeClosed},
    {"StationScreenIntoAReaderThatCloses", {3, 4}, {}, "| head -n 1 >\"$0.out\"", 3, kPipeClosed},
    {"StationJsonIntoAFullDisk", {3, 4}, {"--json"}, ">/dev/full", 3, kDiskFull},
    // {dir}/pełny and {dir}/line<LF>break are links to /dev/full. JSON names
    // the trace as given, the screen as it can: the station's note as the
    // single port's.
    {"JsonWithATraceNamedInPolishOnAFullDisk",
     {3},
     {"--json", "--trace", "{dir}/pe\xc5\x82ny"},
     ">\"$0.out\"",
     3,
     "voren-cp852: trace file '{dir}/pe?ny': not written completely: no space left on device\n",
     "voren-cp852: trace file '{dir}/pe\xc5\x82ny': not written completely: no space left on "
     "device"},
    {"StationJsonWithATraceNamedInPolishOnAFullDisk",
     {3, 4},
     {"--json", "--trace", "{dir}/pe\xc5\x82ny"},
     ">\"$0.out\"",
     3,
     "",
     "voren-cp852: trace file '{dir}/pe\xc5\x82ny': not written completely: no space left on "
     "device"},
    {"StationJsonWithATraceNamedWithALineBreakOnAFullDisk",
     {3, 4},
     {"--json", "--trace", "{dir}/line\nbreak"},
     ">\"$0.out\"",
     3,
     "",
     "voren-cp852: trace file '{dir}/line\nbreak': not written completely: no space left on "
     "device"},
};

// text with each {dir} as the test's folder.
std::string inFolder(std::string text, const std::string& directory) {
  for (auto at = text.find("{dir}"); at != std::string::npos; at = text.find("{dir}", at)) {
    text.replace(at, 5, directory);
  }
  return text;
}

class BrokenOutput : public ::testing::TestWithParam<BrokenOutputRow> {
 protected:
  void SetUp() override {
    directory_ = makeTempDir(std::string("voren-json-output-") + GetParam().name);
    std::filesystem::create_symlink("/dev/full", directory_ + "/pe\xc5\x82ny");
    std::filesystem::create_symlink("/dev/full", directory_ + "/line\nbreak");
  }
  void TearDown() override { std::filesystem::remove_all(directory_); }
  std::string directory_;
};

TEST_P(BrokenOutput, StopsNoUploadAndEndsSayingSo) {
  const BrokenOutputRow& row = GetParam();
  Printers printers(directory_);
  for (const int port : row.ports) printers.start(port, row.fault);
  auto argv = printers.env();
  // bash for the pipe's first status: head's 0 would hide the program's.
  const std::string run = directory_ + "/run";
  argv.insert(
      argv.end(),
      {"bash", "-c", std::string("\"$@\" 2>\"$0.err\" ") + row.shell + "; exit ${PIPESTATUS[0]}",
       run, VOREN_CP852_PATH});
  for (const int port : row.ports) argv.insert(argv.end(), {"--port", std::to_string(port)});
  for (const auto& option : row.options) argv.push_back(inFolder(option, directory_));
  const CommandResult result = runCommand(argv, 90s);
  EXPECT_EQ(result.status, row.status) << readFile(run + ".err");
  EXPECT_EQ(readFile(run + ".err"), inFolder(row.error, directory_));
  for (const int port : row.ports) {
    EXPECT_EQ(printers.holdsTheTable(port), row.fault.empty()) << "COM" << port;
  }
  if (row.note) {
    const std::string out = readFile(run + ".out");
    const std::string note = inFolder(row.note, directory_);
    for (const int port : row.ports) {
      const std::string name = "COM" + std::to_string(port);
      bool noted = false;
      bool ended = false;
      for (const Json& e : eventsOf(out)) {
        if (e.value("port", "") != name) continue;
        if (e["event"] == "note" && e["text"] == note) noted = !ended;
        if (e["event"] == "end") ended = true;
      }
      EXPECT_TRUE(noted && ended) << name << " has no note \"" << note << "\" before its end:\n"
                                  << out;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, BrokenOutput, ::testing::ValuesIn(kBrokenOutputs),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren::test
