// The program run from a script against the simulated printer: options, no
// terminal, standard input from /dev/null, its output read as a log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "-" + test->name();
    std::replace(name.begin(), name.end(), '/', '-');
    run_.emplace(name);
    std::string error;
    ASSERT_TRUE(run_->startPrinter({}, &error)) << error;
  }

  // The program with these options, COM1 mapped to the printer unless told
  // otherwise, run by whatever comes first in argv.
  CommandResult program(std::vector<std::string> options, bool mapCom1 = true,
                        std::vector<std::string> argv = {}) {
    const bool anotherUser = !argv.empty();
    argv.push_back("env");
    if (mapCom1) argv.push_back("VOREN_COM1=" + run_->printer().ptyPath());
    // As another user, a copy it can reach.
    argv.push_back(anotherUser ? programForAnyUser(VOREN_CP852_PATH, run_->directory())
                               : std::string(VOREN_CP852_PATH));
    argv.insert(argv.end(), options.begin(), options.end());
    return runCommand(argv, deadline_);
  }

  std::string file(const std::string& name) const { return run_->directory() + "/" + name; }

  std::string writeFont(const std::string& name, std::size_t size) const {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31) ^ (i >> 8));
    std::ofstream(file(name), std::ios::binary) << bytes;
    return bytes;
  }

  std::optional<UpdaterRun> run_;
  std::chrono::milliseconds deadline_ = 60s;
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
  // With nothing holding the answers, nothing names a delay.
  EXPECT_EQ(result.output.find("Adapter portu"), std::string::npos) << result.output;
  EXPECT_EQ(result.output.find("Odpowiedzi drukarki"), std::string::npos) << result.output;
}

// A USB adapter that holds each answer for its 16 ms timer, on a line paced
// as a real one: the update ends with one line naming what that cost, and
// the trace's last line sums up the answers' wait. The port is a
// pseudo-terminal, no adapter, so the line gives no timer to shorten.
TEST(AdapterDelayNatively, IsNamedAfterTheEndReportWithWhatItCost) {
  UpdaterRun run("AdapterDelayNatively");
  std::string error;
  ASSERT_TRUE(run.startPrinter({"--baud", "38400", "--latency-timer", "16"}, &error)) << error;
  const std::string trace = run.directory() + "/trace.txt";
  const auto result = runCommand({"env", "VOREN_COM1=" + run.printer().ptyPath(), VOREN_CP852_PATH,
                                  "--port", "1", "--trace", trace},
                                 90s);
  EXPECT_EQ(result.status, 0) << result.output;
  std::smatch match;
  const std::regex delayLine(std::string(kSuccessLine) +
                             "\nOdpowiedzi drukarki na porcie COM1 przychodza z opoznieniem "
                             "\\d+ ms, ta aktualizacja trwala przez to o (\\d+),(\\d) s "
                             "dluzej\\.\n$");
  ASSERT_TRUE(std::regex_search(result.output, match, delayLine)) << result.output;
  // 432 answers held 16 ms each: 6.9 s. A busy machine adds the turnaround
  // of its own scheduling, 13 ms an answer once under the load of
  // the other builds; an answer's wait measured from the start of what was
  // written, rather than its end on the line, would add 37 ms to two in three.
  const double cost = std::stoi(match[1]) + std::stoi(match[2]) / 10.0;
  EXPECT_GE(cost, 6.5) << result.output;
  EXPECT_LE(cost, 17.3) << result.output;

  std::istringstream lines(readFile(trace));
  std::string line, last;
  while (std::getline(lines, line)) last = line;
  const std::regex summary(
      R"(# answers 432, wait median (\d+) us, tenth (\d+) us, largest \d+ us)");
  ASSERT_TRUE(std::regex_match(last, match, summary)) << last;
  EXPECT_GE(std::stoi(match[1]), 15'500) << last;
  EXPECT_LE(std::stoi(match[1]), 40'000) << last;
  // The timer is a floor under every answer.
  EXPECT_GE(std::stoi(match[2]), 15'500) << last;
}

TEST_F(CommandLineNatively, DeviceAndFontOptionsPutTheFileIntoThePrinterWithoutAMapping) {
  const std::string font = writeFont("font.bin", kGlyphTableSize);
  const auto result =
      program({"--device", run_->printer().ptyPath(), "--font", file("font.bin")}, false);
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == font) << "the printer holds something else";
}

// A file the program is handed in a role it cannot play: the row makes it in
// the test's folder and names the reason; "{dir}" in the reason is that folder.
struct BadFile {
  const char* name;
  std::function<std::string(const std::string& dir)> make;
  std::string reason;
  bool unreadable = false;  // needs a reader without root's rights
};

void PrintTo(const BadFile& row, std::ostream* out) { *out << row.name; }

std::string named(std::string text, const std::string& dir) {
  for (auto at = text.find("{dir}"); at != text.npos; at = text.find("{dir}"))
    text.replace(at, 5, dir);
  return text;
}

std::string madeFifo(const std::string& path) {
  EXPECT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
  return path;
}

std::string madeFolder(const std::string& path) {
  std::filesystem::create_directory(path);
  return path;
}

std::string madeFile(const std::string& path, std::size_t size) {
  std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  return path;
}

// Root reads any file whatever its mode, so the unreadable row runs the
// program as nobody, in a folder nobody may pass through but not list;
// nothing when that cannot be done.
std::optional<std::vector<std::string>> readerWithoutRoot(const std::string& dir) {
  if (geteuid() != 0) return std::vector<std::string>{};
  if (!std::filesystem::exists("/usr/bin/setpriv")) return std::nullopt;
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all |
                                        std::filesystem::perms::group_exec |
                                        std::filesystem::perms::others_exec);
  return std::vector<std::string>{"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
}

class BadInput : public CommandLineNatively, public ::testing::WithParamInterface<BadFile> {
 protected:
  // A refusal comes before anything is opened; a program still running by
  // then hangs on the file or reads it whole.
  BadInput() { deadline_ = 10s; }

  // A refusal is the whole output; nothing reached the printer.
  void expectRefused(const CommandResult& result, const std::string& line) {
    EXPECT_NE(result.status, -1) << "the program hung on " << GetParam().name;
    EXPECT_EQ(result.status, 2) << result.output;
    // On stderr, often the operator's screen: no control byte of a name.
    std::string shown = line;
    std::replace_if(
        shown.begin(), shown.end(), [](char c) { return c > 0 && c < 0x20; }, '?');
    EXPECT_EQ(result.output, "voren-cp852: " + shown + "\n");
    run_->stopPrinterAndReadDump();
    EXPECT_EQ(summaryCount(run_->printer().log(), "bytes received"), 0) << run_->printer().log();
  }
};

using FontFile = BadInput;
using TraceFile = BadInput;

TEST_P(FontFile, IsRefusedWithItsKindBeforeAByteOfItIsRead) {
  const BadFile& row = GetParam();
  const std::string dir = run_->directory();
  const std::string path = row.make(dir);
  const auto before = std::filesystem::status(path).type();
  const auto reader = row.unreadable ? readerWithoutRoot(dir) : std::vector<std::string>{};
  if (!reader) GTEST_SKIP() << "as root every file is readable, and setpriv is missing";
  const auto result = program({"--port", "1", "--font", path}, true, *reader);
  expectRefused(result, "font file '" + path + "': " + named(row.reason, dir) +
                            ", not a font of 36864 bytes");
  EXPECT_EQ(std::filesystem::status(path).type(), before) << path;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FontFile,
    ::testing::Values(
        BadFile{"zero_device", [](auto&) { return std::string("/dev/zero"); }, "a device"},
        BadFile{"named_pipe", [](auto& d) { return madeFifo(d + "/fifo"); }, "a named pipe"},
        BadFile{"directory", [](auto& d) { return madeFolder(d + "/drawings"); }, "a directory"},
        BadFile{"missing", [](auto& d) { return d + "/missing.bin"; },
                "cannot be read: no such file or directory"},
        BadFile{"missing_named_to_wipe_the_screen",
                [](auto& d) { return d + "/x\x1b[2J\x1b[H\rFAKE.bin"; },
                "cannot be read: no such file or directory"},
        BadFile{"unreadable",
                [](auto& d) {
                  const auto path = madeFile(d + "/locked.bin", kGlyphTableSize);
                  std::filesystem::permissions(path, std::filesystem::perms::none);
                  return path;
                },
                "cannot be read: permission denied", true},
        BadFile{"one_byte_short", [](auto& d) { return madeFile(d + "/s.bin", 36863); },
                "36863 bytes"},
        BadFile{"one_byte_long", [](auto& d) { return madeFile(d + "/l.bin", 36865); },
                "36865 bytes"},
        BadFile{"sparse_8_gb",
                [](auto& d) {
                  const auto path = madeFile(d + "/sparse.bin", 0);
                  std::filesystem::resize_file(path, std::uintmax_t{8} << 30);
                  return path;
                },
                "8589934592 bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

// The font is good in every row, so only the trace's place can refuse it.
TEST_P(TraceFile, InAPlaceThatCannotTakeItIsRefusedBeforeThePortIsOpened) {
  const BadFile& row = GetParam();
  const std::string dir = run_->directory();
  const std::string font = writeFont("font.bin", kGlyphTableSize);
  // "{port}": the printer's own device, under a name of its own.
  std::string path = row.make(dir);
  if (path == "{port}") {
    path = dir + "/printer";
    std::filesystem::create_symlink(run_->printer().ptyPath(), path);
  }
  const auto before = std::filesystem::status(path).type();
  const auto result = program({"--port", "1", "--font", file("font.bin"), "--trace", path});
  expectRefused(result, "trace file '" + path + "': " + named(row.reason, dir));
  // The printer's pty has gone with the printer.
  if (row.reason.find("port") == std::string::npos) {
    EXPECT_EQ(std::filesystem::status(path).type(), before) << path;
  }
  EXPECT_TRUE(readFile(file("font.bin")) == font) << "the font file changed";
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TraceFile,
    ::testing::Values(
        BadFile{"named_pipe", [](auto& d) { return madeFifo(d + "/fifo"); }, "a named pipe"},
        BadFile{"directory", [](auto& d) { return madeFolder(d + "/traces"); }, "a directory"},
        BadFile{"missing_folder", [](auto& d) { return d + "/no-folder/trace.txt"; },
                "folder '{dir}/no-folder' does not exist"},
        BadFile{"missing_folder_named_to_wipe_the_screen",
                [](auto& d) { return d + "/x\x1b[2J\r/trace.txt"; },
                "folder '{dir}/x\x1b[2J\r' does not exist"},
        BadFile{"folder_is_a_file",
                [](auto& d) { return madeFile(d + "/file.txt", 1) + "/wire.txt"; },
                "folder '{dir}/file.txt' is a regular file"},
        BadFile{"the_port", [](auto&) { return std::string("{port}"); }, "the port 'COM1' itself"},
        // A pseudo-terminal nobody reads: the upload would stop once it is full.
        BadFile{"a_terminal", [](auto&) { return std::string("/dev/ptmx"); }, "a terminal"},
        BadFile{"the_font", [](auto& d) { return d + "/font.bin"; },
                "the font file '{dir}/font.bin' itself"},
        BadFile{"the_font_by_a_hard_link",
                [](auto& d) {
                  std::filesystem::create_hard_link(d + "/font.bin", d + "/hard.bin");
                  return d + "/hard.bin";
                },
                "the font file '{dir}/font.bin' itself"},
        BadFile{"the_font_by_a_symbolic_link",
                [](auto& d) {
                  std::filesystem::create_symlink("font.bin", d + "/link.bin");
                  return d + "/link.bin";
                },
                "the font file '{dir}/font.bin' itself"}),
    [](const auto& info) { return std::string(info.param.name); });

// A script that runs the program with a standard stream closed: the port
// opened next must not take the stream's place and get the program's text.
struct Redirection {
  const char* name;
  const char* shell;  // what sh adds to the program's command
};
void PrintTo(const Redirection& row, std::ostream* out) { *out << row.name; }

inline constexpr Redirection kClosedStreams[] = {
    {"input", "<&-"}, {"output", ">&-"}, {"error", "2>&-"}, {"all", "<&- >&- 2>&-"}};

class ClosedStream : public CommandLineNatively,
                     public ::testing::WithParamInterface<Redirection> {};

TEST_P(ClosedStream, LeavesThePrinterOnlyTheProtocol) {
  const std::string script = std::string("exec \"$@\" ") + GetParam().shell;
  const auto result = program({"--port", "1"}, true, {"sh", "-c", script, "sh"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == glyphTableBytes());
  EXPECT_EQ(summaryCount(run_->printer().log(), "protocol errors"), 0) << run_->printer().log();
}

INSTANTIATE_TEST_SUITE_P(Rows, ClosedStream, ::testing::ValuesIn(kClosedStreams),
                         [](const auto& info) { return std::string(info.param.name); });

// The script's own log, named again as the trace (/dev/stdout, or its own
// name for standard error): refused, and the log keeps what it had.
TEST_F(CommandLineNatively, ATraceThatIsTheProgramsOwnOutputIsRefused) {
  const struct {
    const char* redirection;
    const char* trace;
    const char* stream;
  } rows[] = {{">>\"$0\"", "/dev/stdout", "output"}, {"2>>\"$0\"", "{log}", "error"}};
  for (const auto& row : rows) {
    const std::string log = file(std::string("update-") + row.stream + ".log");
    std::ofstream(log) << "earlier run\n";
    const std::string trace = row.trace == std::string("{log}") ? log : row.trace;
    const auto result = program({"--port", "1", "--trace", trace}, true,
                                {"sh", "-c", std::string("exec \"$@\" ") + row.redirection, log});
    EXPECT_EQ(result.status, 2) << row.stream << ": " << result.output;
    // The refusal goes to standard error: the log, or the test's pipe.
    EXPECT_EQ(readFile(log) + result.output, "earlier run\nvoren-cp852: trace file '" + trace +
                                                 "': the program's standard " + row.stream + "\n");
  }
  run_->stopPrinterAndReadDump();
  EXPECT_EQ(summaryCount(run_->printer().log(), "bytes received"), 0) << run_->printer().log();
}

// A full device takes the trace's lines and keeps none: the upload goes on,
// and the end says what was lost.
TEST_F(CommandLineNatively, ATraceThatCannotBeWrittenIsReportedAfterAFullUploadWithStatusThree) {
  const std::string font = writeFont("font.bin", kGlyphTableSize);
  const auto result = program({"--port", "1", "--font", file("font.bin"), "--trace", "/dev/full"});
  EXPECT_EQ(result.status, 3) << result.output;
  EXPECT_TRUE(result.output.ends_with(
      std::string(kSuccessLine) +
      "\nvoren-cp852: trace file '/dev/full': not written completely: no space left on device\n"))
      << result.output;
  EXPECT_TRUE(run_->stopPrinterAndReadDump() == font) << "the printer holds something else";
}

// The failed update's status wins; the trace's line still comes last.
TEST_F(CommandLineNatively, ATraceThatCannotBeWrittenIsReportedAfterAFailedUploadWithStatusOne) {
  const auto result = program({"--port", "200", "--trace", "/dev/full"});
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_NE(result.output.find("W tym komputerze nie ma portu COM200!"), std::string::npos)
      << result.output;
  EXPECT_TRUE(result.output.ends_with(
      "\nvoren-cp852: trace file '/dev/full': not written completely: no space left on device\n"))
      << result.output;
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
  // Their text to a full disk: the write error and status 1, as the GNU tools do.
  for (const char* option : {"--version", "--help", "--list"}) {
    result =
        program({}, true, {"sh", "-c", "exec \"$@\" " + std::string(option) + " >/dev/full", "sh"});
    EXPECT_EQ(result.status, 1) << option;
    EXPECT_TRUE(result.output.starts_with("voren-cp852: write error: ")) << result.output;
    EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 1) << result.output;
  }
  result = program({"--port", "1", "--speed", "9600"});
  EXPECT_EQ(result.status, 2);
  EXPECT_NE(result.output.find("unknown option '--speed'\nusage: "), std::string::npos)
      << result.output;
}

// Every COM number mapped to nothing hides the machine's own UARTs; a USB
// adapter without a number would still be listed.
TEST_F(CommandLineNatively, ListWithNoPortSaysSoAsTheDialogueDoes) {
  for (const auto& entry : std::filesystem::directory_iterator("/dev")) {
    const auto name = entry.path().filename().string();
    if (name.starts_with("ttyUSB") || name.starts_with("ttyACM")) {
      GTEST_SKIP() << "this machine has " << entry.path() << ", which no mapping hides";
    }
  }
  std::vector<std::string> argv{"env"};
  for (int n = 1; n <= 255; ++n) argv.push_back("VOREN_COM" + std::to_string(n) + "=/none");
  argv.insert(argv.end(), {VOREN_CP852_PATH, "--list"});
  const auto result = runCommand(argv, 60s);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "W tym komputerze nie ma zadnego portu COM.\n");
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
  expectDeviceNameOutcome(row, result, run.printer().log(), file);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, DeviceNamedNatively, ::testing::ValuesIn(kDeviceNames),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren::test
