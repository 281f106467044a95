// The options for unattended use: the parser, the operator's font file, and
// the update run with a port chosen beforehand.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/font_file.h"
#include "app/port_identity.h"
#include "app/trace_place.h"
#include "platform/win32/com_device.h"
#include "tests/app/updater_fixture.h"
#include "tests/support/temp_dir.h"

namespace voren {
namespace {

using Action = CommandLine::Action;

ParsedCommandLine parse(std::vector<const char*> arguments) { return parseCommandLine(arguments); }

PortArgument com(std::uint8_t number) { return {number, {}}; }
PortArgument device(const char* path) { return {std::nullopt, path}; }

TEST(CommandLineParser, GoodCommandLines) {
  struct Row {
    std::vector<const char*> arguments;
    Action action;
    std::vector<PortArgument> ports;
    std::optional<std::string> font, trace;
    bool stationChild = false;
    std::optional<std::size_t> stationPlace{};
  };
  const Row rows[] = {
      {{}, Action::Update, {}, {}, {}},
      {{"--port", "1"}, Action::Update, {com(1)}, {}, {}},
      {{"--port=255"}, Action::Update, {com(255)}, {}, {}},
      {{"--font", "a.bin", "--trace=t.txt", "--port", "3"},
       Action::Update,
       {com(3)},
       "a.bin",
       "t.txt"},
      // A value is taken whole, even when it looks like an option or holds '='.
      {{"--font", "--port", "--trace", "x=y"}, Action::Update, {}, "--port", "x=y"},
      {{"--device", "/dev/ttyUSB0"}, Action::Update, {device("/dev/ttyUSB0")}, {}, {}},
      {{"--port", "2", "--list"}, Action::List, {com(2)}, {}, {}},
      {{"--list", "--version"}, Action::Version, {}, {}, {}},
      {{"--list", "--help", "--version"}, Action::Help, {}, {}, {}},
      // Several ports, in the order given: the station.
      {{"--port", "3", "--port", "4", "--device", "/dev/ttyUSB0"},
       Action::Update,
       {com(3), com(4), device("/dev/ttyUSB0")},
       {},
       {}},
      {{"--device", "COM4", "--port=3", "--device", R"(\\.\COM12)", "--trace", "w.txt"},
       Action::Update,
       {device("COM4"), com(3), device(R"(\\.\COM12)")},
       {},
       "w.txt"},
      // COM10 without the device prefix is no COM name: a path like any other.
      {{"--port", "10", "--device", "COM10"}, Action::Update, {com(10), device("COM10")}, {}, {}},
      {{"--station-child", "--port", "7"}, Action::Update, {com(7)}, {}, {}, true},
      {{"--station-child", "--station-place", "12", "--port", "7"},
       Action::Update,
       {com(7)},
       {},
       {},
       true,
       12},
  };
  for (const auto& row : rows) {
    const auto parsed = parse(row.arguments);
    const std::string shown = ::testing::PrintToString(row.arguments.size()) +
                              " arguments, first " +
                              (row.arguments.empty() ? "none" : row.arguments[0]);
    EXPECT_EQ(parsed.error, "") << shown;
    EXPECT_EQ(parsed.commandLine.action, row.action) << shown;
    EXPECT_EQ(parsed.commandLine.ports, row.ports) << shown;
    EXPECT_EQ(parsed.commandLine.font, row.font) << shown;
    EXPECT_EQ(parsed.commandLine.trace, row.trace) << shown;
    EXPECT_EQ(parsed.commandLine.stationChild, row.stationChild) << shown;
    EXPECT_EQ(parsed.commandLine.stationPlace, row.stationPlace) << shown;
  }
}

TEST(CommandLineParser, BadCommandLinesSayWhatIsWrong) {
  struct Row {
    std::vector<const char*> arguments;
    const char* error;
  };
  const Row rows[] = {
      {{"--port", "0"}, "--port '0' is no port number (1..255)"},
      {{"--port", "256"}, "--port '256' is no port number (1..255)"},
      {{"--port", "-1"}, "--port '-1' is no port number (1..255)"},
      {{"--port", "3x"}, "--port '3x' is no port number (1..255)"},
      {{"--port", "0x0A"}, "--port '0x0A' is no port number (1..255)"},
      {{"--port="}, "--port '' is no port number (1..255)"},
      // No leading zero: the dialogue reads 010 as 8, a script means 10.
      {{"--port", "010"}, "--port '010' has a leading zero; write 10"},
      {{"--port", "0003"}, "--port '0003' has a leading zero; write 3"},
      {{"--port=000255"}, "--port '000255' has a leading zero; write 255"},
      {{"--port", "0256"}, "--port '0256' is no port number (1..255)"},
      {{"--port", "000"}, "--port '000' is no port number (1..255)"},
      {{"--port"}, "--port needs a value"},
      {{"--font", "a", "--trace"}, "--trace needs a value"},
      {{"--font="}, "--font needs a non-empty value"},
      {{"--font", "a", "--font", "b"}, "--font given twice"},
      {{"--device="}, "--device needs a non-empty value"},
      {{"--station-child"}, "--station-child takes one port"},
      {{"--station-child", "--port", "1", "--port", "2"}, "--station-child takes one port"},
      {{"--station-place", "1", "--port", "1"}, "--station-place is for --station-child"},
      {{"--station-child", "--port", "1", "--station-place", "-1"},
       "--station-place '-1' is no place (0..999)"},
      {{"--list=yes"}, "--list takes no value"},
      // The dialogue has no JSON to give.
      {{"--json"}, "--json needs --port or --device: the dialogue has no JSON"},
      {{"--json", "--font", "a.bin"}, "--json needs --port or --device: the dialogue has no JSON"},
      {{"--json=1", "--port", "3"}, "--json takes no value"},
      {{"--prot", "1"}, "unknown option '--prot'"},
      {{"-p", "1"}, "unknown option '-p'"},
      {{"3"}, "unknown option '3'"},
      {{"--help", "--bogus"}, "unknown option '--bogus'"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(parse(row.arguments).error, row.error) << row.arguments[0];
  }
}

// What the station prints for a rerun reads back as the run it stands for.
TEST(CommandLineParser, ArgumentsReadBackAsTheCommandLine) {
  const std::vector<std::vector<const char*>> lines = {
      {"--port", "3"},
      {"--json", "--list"},
      {"--version", "--help"},
      {"--device", "--port", "--font", "x y.bin", "--trace=a=b", "--json", "--port", "4"},
      {"--station-child", "--device", R"(\\.\COM12)", "--json", "--trace", "w.txt"},
  };
  for (const auto& line : lines) {
    const auto parsed = parse(line);
    ASSERT_EQ(parsed.error, "") << line[0];
    const auto words = argumentsOf(parsed.commandLine);
    std::vector<const char*> again;
    for (const auto& word : words) again.push_back(word.c_str());
    const auto reparsed = parse(again);
    EXPECT_EQ(reparsed.error, "") << line[0];
    EXPECT_TRUE(reparsed.commandLine == parsed.commandLine) << line[0];
  }
}

// With several ports each gets its own trace: the port's name before the
// extension, a device by its last path part.
TEST(CommandLineParser, StationTraceNames) {
  const struct {
    const char* trace;
    const char* port;
    const char* file;
  } rows[] = {
      {"wire.txt", "COM3", "wire-COM3.txt"},
      {"/tmp/x/wire.txt", "/dev/ttyUSB0", "/tmp/x/wire-ttyUSB0.txt"},
      {"wire", "COM12", "wire-COM12"},
      {"a.b/wire.trace.txt", R"(\\.\COM12)", "a.b/wire.trace-COM12.txt"},
      // Names that differ only in a letter the screen cannot show give two files.
      {"wire.txt", "/dev/kasa-\u0105", "wire-kasa-\u0105.txt"},
      {"wire.txt", "/dev/kasa-\u0119", "wire-kasa-\u0119.txt"},
      // No control byte reaches a file name: a folder listed would run it.
      {"wire.txt", "/x/evil\x1b[2J\r\x7f", "wire-evil%1B[2J%0D%7F.txt"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(stationTraceFile(row.trace, row.port), row.file) << row.trace << " " << row.port;
  }
}

TEST(CommandLineTexts, HelpFitsOneScreenAndNamesEveryOption) {
  const std::string help = helpText();
  EXPECT_TRUE(help.starts_with(kUsageLine));
  EXPECT_LE(std::count(help.begin(), help.end(), '\n'), 24);
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
  for (const char* option :
       {"--port", "--device", "--font", "--trace", "--list", "--json", "--help", "--version"}) {
    EXPECT_NE(help.find(option), std::string::npos) << option;
  }
}

class FontFileReading : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.made());
    directory_ = folder_.path();
  }

  std::string write(const std::string& name, std::size_t size) {
    const std::string path = directory_ + "/" + name;
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(size));
    return path;
  }

  const ::voren::test::TempDir folder_{"voren-font-file"};
  std::string directory_;
};

TEST_F(FontFileReading, ATableSizedFileIsTakenByteForByteWithWhoItIs) {
  std::string error;
  const std::string path = write("font.bin", kGlyphTableSize);
  const auto font = readFontFile(path, error);
  ASSERT_TRUE(font) << error;
  ASSERT_EQ(font->bytes.size(), kGlyphTableSize);
  EXPECT_EQ(font->bytes[1], 7);
  EXPECT_EQ(font->bytes[kGlyphTableSize - 1], static_cast<std::uint8_t>((kGlyphTableSize - 1) * 7));
  // The identity is the file's, not the name's: a link shares it, a copy does not.
  std::filesystem::create_hard_link(path, directory_ + "/link.bin");
  std::filesystem::copy_file(path, directory_ + "/copy.bin");
  EXPECT_EQ(fileAt(directory_ + "/link.bin", error)->identity, font->identity);
  EXPECT_FALSE(fileAt(directory_ + "/copy.bin", error)->identity == font->identity);
}

TEST_F(FontFileReading, AnythingElseIsRefusedNamingTheFileAndWhatWasFound) {
  const std::string wanted = ", not a font of 36864 bytes";
  const struct {
    std::string path;
    std::string error;
  } rows[] = {
      {write("empty.bin", 0), "font file '" + directory_ + "/empty.bin': 0 bytes" + wanted},
      {directory_, "font file '" + directory_ + "': a directory" + wanted},
      {directory_ + "/missing.bin", "font file '" + directory_ +
                                        "/missing.bin': cannot be read: no such file or "
                                        "directory" +
                                        wanted},
  };
  for (const auto& row : rows) {
    std::string error;
    EXPECT_FALSE(readFontFile(row.path, error)) << row.path;
    EXPECT_EQ(error, row.error);
  }
}

// What the end-to-end rows cannot show: the places a trace may go.
TEST_F(FontFileReading, ATraceMayGoToANewOrAnotherFileOrADevice) {
  const std::string font = write("font.bin", kGlyphTableSize);
  std::string error;
  const FontInUse inUse{font, readFontFile(font, error)->identity};
  for (const std::string& path : {directory_ + "/new.txt", write("old.txt", 10),
                                  std::string(kNullDevice), std::string("here.txt")}) {
    EXPECT_EQ(tracePlaceRefusal(path, {}, inUse), "") << path;
  }
  EXPECT_NE(tracePlaceRefusal(font, {}, inUse), "");
  EXPECT_EQ(tracePlaceRefusal(font, {}, std::nullopt), "") << "no font, nothing to protect";
}

// One rule for one port and for several: a device is every port's trace as
// it is, a file gives each port its own, each of them tried.
TEST_F(FontFileReading, EachPortsTraceFile) {
  std::string refusal;
  const auto ports = checkRunPorts({com(3), device("COM4")}, refusal);
  ASSERT_TRUE(ports) << refusal;
  const std::string wire = directory_ + "/wire.txt";
  const std::vector<std::string> perPort = {directory_ + "/wire-COM3.txt",
                                            directory_ + "/wire-COM4.txt"};
  EXPECT_EQ(traceFiles(wire, *ports, {}, refusal), perPort) << refusal;
  EXPECT_FALSE(std::filesystem::exists(perPort[0])) << "a tried file is left behind";
  EXPECT_EQ(traceFiles(wire, {ports->front()}, {}, refusal), std::vector<std::string>{wire});
  EXPECT_EQ(traceFiles(kNullDevice, *ports, {}, refusal),
            (std::vector<std::string>{kNullDevice, kNullDevice}));
  // Two names that are one file.
  write("wire-COM3.txt", 0);
  std::filesystem::create_hard_link(perPort[0], perPort[1]);
  EXPECT_FALSE(traceFiles(wire, *ports, {}, refusal));
  EXPECT_EQ(refusal, "trace file '" + perPort[1] + "': named for both COM3 and COM4");
  // A port's own name that is the font under another name: the trace would
  // empty the font the station is about to send.
  std::filesystem::remove(perPort[1]);
  const std::string font = write("font.bin", kGlyphTableSize);
  std::filesystem::create_hard_link(font, perPort[1]);
  std::string error;
  const FontInUse inUse{font, readFontFile(font, error)->identity};
  EXPECT_FALSE(traceFiles(wire, *ports, inUse, refusal));
  EXPECT_EQ(refusal, "trace file '" + perPort[1] + "': the font file '" + font + "' itself");
}

// Two names of one port are one port, whatever the device behind them.
TEST(PortsOfARun, TheSamePortTwiceIsRefused) {
  const struct {
    std::vector<PortArgument> ports;
    const char* refusal;
  } rows[] = {
      {{com(3), com(4), com(3)}, "the port 'COM3' is named twice"},
      {{com(3), device("COM3")}, "the port 'COM3' is named twice"},
      {{device("com3"), com(3)}, "the port 'com3' is named twice, also as 'COM3'"},
      {{com(12), device(R"(\\.\COM12)")},
       R"(the port 'COM12' is named twice, also as '\\.\COM12')"},
      {{device("/dev/voren-none"), device("/dev/./voren-none")},
       "the port '/dev/voren-none' is named twice, also as '/dev/./voren-none'"},
      {{device("COM0")}, "device 'COM0': no COM port has the number 0"},
      {{com(3), com(4), device("/dev/voren-none")}, ""},
      // Named as given: the screen filters the line where it shows it.
      {{device("/dev/voren-\x1b[2J"), device("/dev/./voren-\x1b[2J")},
       "the port '/dev/voren-\x1b[2J' is named twice, also as '/dev/./voren-\x1b[2J'"},
  };
  // Windows reaches a port by its COM name alone: paths are refused there.
  const bool pathsArePorts = comPortForDevice("/dev/voren-none").port.has_value();
  for (const auto& row : rows) {
    const auto path = std::find_if(row.ports.begin(), row.ports.end(),
                                   [](const PortArgument& p) { return p.device.starts_with("/"); });
    if (path != row.ports.end() && !pathsArePorts) continue;
    std::string refusal;
    EXPECT_EQ(checkRunPorts(row.ports, refusal).has_value(), *row.refusal == '\0') << row.refusal;
    EXPECT_EQ(refusal, row.refusal);
  }
}

// The update with a port chosen beforehand, against the scripted printer.
using Unattended = Updater;

TEST_F(Unattended, UploadsTheGivenTableWithoutAskingClearingOrWaiting) {
  std::vector<std::uint8_t> table(kGlyphTableSize);
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = static_cast<std::uint8_t>(i / 256);
  const UpdateSettings settings{GlyphTableView(table.data(), kGlyphTableSize),
                                PortChoice{3, "COM3"}};
  EXPECT_EQ(run("", settings), 0);

  EXPECT_EQ(printer().calls(), openedAndClosed());
  ASSERT_EQ(model().blocks().size(), 144u);
  for (std::uint16_t i = 0; i < 144; ++i) {
    const auto& block = model().blocks().at(static_cast<std::uint16_t>(320 + i));
    EXPECT_TRUE(std::all_of(block.begin(), block.end(), [&](std::uint8_t b) { return b == i; }))
        << "block " << i;
  }
  EXPECT_EQ(console->clears(), 0);
  EXPECT_EQ(console->keyWaitingCalls(), 0);
  EXPECT_EQ(console->screen().find("Podaj numer portu"), std::string::npos);
  // The log ends with a line break after the report.
  EXPECT_TRUE(console->output().ends_with("Aktualizacja strony kodowej zakonczona sukcesem!\n"));
}

TEST_F(Unattended, AMissingPortEndsAtOnceWithTheDialoguesText) {
  printer().presentPorts = {1};
  EXPECT_EQ(run("", {.port = PortChoice{3, "COM3"}}), 1);
  EXPECT_TRUE(console->output().ends_with(
      "\nW tym komputerze nie ma portu COM3!\nPorty COM w tym komputerze:\n  COM1\n"));
  EXPECT_EQ(printer().calls(), (std::vector<std::string>{"SerialPortPresent(3)"}));
}

TEST_F(Unattended, AHeldPortIsInUseNamedAsGiven) {
  printer().presentPorts = {1};
  printer().probeErrors = {{1, 5}};
  EXPECT_EQ(run("", {.port = PortChoice{1, "/dev/ttyUSB0"}}), 1);
  EXPECT_TRUE(console->output().ends_with("\n\nPort /dev/ttyUSB0 jest zajety przez inny program.\n"))
      << console->output();
  EXPECT_EQ(printer().calls(), (std::vector<std::string>{"SerialPortPresent(1)"}));
}

TEST_F(Unattended, AnUnopenablePortEndsAtOnceWithTheDialoguesText) {
  printer().initializeResult = 5;
  EXPECT_EQ(run("", {.port = PortChoice{1, "/dev/ttyUSB0"}}), 1);
  EXPECT_TRUE(console->output().ends_with("\nNie mozna zainicjowac portu /dev/ttyUSB0!\n"));
  EXPECT_TRUE(printer().written().empty());
  EXPECT_EQ(console->keyWaitingCalls(), 0);
  EXPECT_EQ(console->keysLeft(), 0u);
}

}  // namespace
}  // namespace voren
