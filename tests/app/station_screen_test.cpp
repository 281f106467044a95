// The station's screen on a model console: whatever the window does during
// the run (too narrow for a line, too short for the block, resized, the
// shell writing while the process was stopped), every port line left on it
// at the end is true and fits the window.
#include "app/station/station_screen.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/scripted_console.h"
#include "tests/support/station_lines.h"

namespace voren {
namespace {

const char* kSuccess = "Aktualizacja strony kodowej zakonczona sukcesem!";
const char* kBusy =
    "W tym komputerze nie ma portu COM4!  Port COM4 jest zajety przez inny program.";

struct ScreenRow {
  const char* name;
  int columns;
  int rows;
  std::vector<std::string> ports;
  // Done to the window when every port is at 22%.
  std::function<void(test::ScriptedConsole&)> meanwhile;
  bool appended;  // the block cannot stay in place: lines are appended
};

void PrintTo(const ScreenRow& row, std::ostream* out) { *out << row.name; }

std::vector<std::string> comPorts(int count) {
  std::vector<std::string> ports;
  for (int n = 1; n <= count; ++n) ports.push_back("COM" + std::to_string(n));
  return ports;
}

const std::string kById = "/dev/serial/by-id/usb-VOREN_Receipt_Printer_0123456789-if00-port0";
const std::string kTwin = "/dev/serial/by-id/usb-VOREN_Receipt_Printer_1123456789-if00-port0";

const std::vector<ScreenRow> kScreens = {
    {"BusyPortAt80x24", 80, 24, {"COM3", "COM4"}, nullptr, false},
    {"LongNamesAt70Columns", 70, 24, {kById, kById + "x", "COM4"}, nullptr, false},
    // By-id names of one model differ in the serial number, short of the end.
    {"TwinsAt40Columns", 40, 24, {kById, kTwin, "COM4"}, nullptr, false},
    {"ThirtyPortsIn24Rows", 80, 24, comPorts(30), nullptr, true},
    {"Narrowed", 80, 24, {kById, "COM4"}, [](auto& c) { c.resize(24, 40); }, false},
    {"ShortenedBelowTheBlock", 80, 24, comPorts(6), [](auto& c) { c.resize(5); }, true},
    {"GrownToHoldTheBlock", 80, 5, comPorts(6), [](auto& c) { c.resize(24); }, false},
    {"StoppedAndContinued",
     80,
     24,
     {"COM3", "COM4"},
     [](auto& c) { c.stopAndContinue("^Z\n[1]+  Stopped  voren-cp852\n$ fg\nvoren-cp852\n"); },
     false},
};

class StationScreenIn : public ::testing::TestWithParam<ScreenRow> {};

TEST_P(StationScreenIn, EveryPortLineLeftIsTrueAndFitsTheWindow) {
  const ScreenRow& row = GetParam();
  test::ScriptedConsole console({row.columns, row.rows, true});
  StationScreen screen(console);
  screen.started(row.ports);
  const auto everyPort = [&](const std::function<void(std::size_t)>& act) {
    for (std::size_t i = 0; i < row.ports.size(); ++i) act(i);
  };
  everyPort([&](std::size_t i) { screen.progress(i, 22); });
  if (row.meanwhile) row.meanwhile(console);
  everyPort([&](std::size_t i) { screen.progress(i, 100); });
  // The busy port's end is longer than any window here.
  everyPort([&](std::size_t i) {
    screen.ended(i, i == 1 ? PortEnd{.outcome = PortOutcome::Failed, .text = kBusy}
                           : PortEnd{.outcome = PortOutcome::Updated, .text = kSuccess});
  });
  screen.finished(1, {});

  const int width = console.windowSize()->columns;
  const auto lines = console.lines();
  // The summary keeps the whole text.
  EXPECT_NE(console.output().find("\n  " + row.ports[1] + ": " + kBusy + "\n"), std::string::npos)
      << console.screen();
  // In place the window holds each port once; appended, each port's last
  // line is its end.
  std::vector<std::string> window;
  for (int r = 1; r <= console.windowSize()->rows; ++r) window.push_back(console.row(r));
  for (std::size_t i = 0; i < row.ports.size(); ++i) {
    const auto shown = test::linesOfPort(row.appended ? lines : window, row.ports[i]);
    ASSERT_FALSE(shown.empty()) << row.ports[i] << "\n" << console.screen();
    if (!row.appended) {
      EXPECT_EQ(shown.size(), 1u) << row.ports[i] << "\n" << console.screen();
    }
    EXPECT_EQ(shown.back().percent, 100) << console.screen();
    const std::string end = i == 1 ? kBusy : kSuccess;
    EXPECT_TRUE(!shown.back().end.empty() && end.starts_with(shown.back().end))
        << shown.back().end << "\n"
        << console.screen();
  }
  // The console wraps at once on the last column: no port line reaches it,
  // and one that was cut fills the rest.
  for (const auto& line : lines) {
    if (test::readPortLine(line)) {
      EXPECT_LT(line.size(), static_cast<std::size_t>(width)) << line;
    }
  }
}

// A window too narrow for a whole line: a number cut short would lie
// ("COM3 10" for 100%, "Blad nr 2" for 21, "COM1" for COM10): the
// percentage is whole or gone, and no other number is cut inside.
TEST(StationScreenNarrow, CutsNoNumberShort) {
  const std::vector<std::string> ports = {"COM3", "COM10", kById};
  const std::vector<std::string> ends = {kSuccess, "Blad nr 21: timeout odbierania",
                                         "W tym komputerze nie ma portu COM10!"};
  for (int width = 2; width <= 90; ++width) {
    test::ScriptedConsole console({width, 10, true});
    StationScreen screen(console);
    screen.started(ports);
    for (std::size_t i = 0; i < ports.size(); ++i) {
      screen.progress(i, 100);
      screen.ended(i, PortEnd{PortOutcome::Failed, false, ends[i]});
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
      const std::string line = console.row(console.cursorPosition().row - 3 + static_cast<int>(i));
      const auto shown = test::readPortLine(line);
      if (!shown) {
        // The name alone, or what fits of it: "COM1" would be another port.
        const std::string part = line.substr(std::min(line.find_first_not_of('.'), line.size()));
        const std::size_t at = ports[i].find(part);
        const std::size_t after = at + part.size();
        EXPECT_TRUE(at != std::string::npos &&
                    (part.empty() || after == ports[i].size() || !std::isdigit(part.back()) ||
                     !std::isdigit(ports[i][after])))
            << width << " columns: " << line;
        continue;
      }
      EXPECT_EQ(shown->percent, 100) << width << " columns: " << line;
      const std::string& end = ends[i];
      const std::size_t cut = shown->end.size();
      EXPECT_TRUE(
          end.starts_with(shown->end) &&
          (cut == 0 || cut == end.size() || !std::isdigit(end[cut - 1]) || !std::isdigit(end[cut])))
          << width << " columns: " << line;
    }
  }
}

// Names, a child's end and its notes come from devices and other processes:
// none of them may drive the operator's terminal, and each name keeps what
// the screen can show of it.
TEST(StationScreenText, ShowsNoByteTheScreenCannotShow) {
  const std::string evil = "/dev/evil\x1b[2J\x1b[H\rFAKE: all printers updated";
  test::ScriptedConsole console({80, 24, true});
  StationScreen screen(console);
  screen.started({evil, "/dev/kasa-\u0105", "/dev/\x80\x80x\xff\xe2\x82\xac"});
  screen.progress(0, 100);
  screen.ended(0, PortEnd{PortOutcome::Failed, false, "Blad\x1b]0;title\x07 nr 21"});
  screen.note(1, "\x1b[2Jnote\r");
  screen.ended(1, PortEnd{PortOutcome::Failed, false, "W tym komputerze nie ma portu"});
  screen.finished(1, {"exact\x1b[2J", "shown"});

  const std::string& output = console.output();
  std::string unshown;
  for (const char c : output) {
    const auto byte = static_cast<unsigned char>(c);
    if (c != '\n' && (byte < 0x20 || byte >= 0x7F)) unshown += std::to_string(byte) + " ";
  }
  EXPECT_EQ(unshown, "") << output;
  EXPECT_NE(output.find("\n  /dev/evil?[2J?[H?FAKE: all printers updated: Blad?]0;title? nr 21\n"),
            std::string::npos)
      << output;
  EXPECT_NE(output.find("\n/dev/kasa-?: ?[2Jnote?\n"), std::string::npos) << output;
  // Stray bytes that are no character's each show, a whole character once.
  EXPECT_NE(output.find("\n/dev/??x?? "), std::string::npos) << output;
  EXPECT_TRUE(output.ends_with("uruchom:\nshown\n")) << output;
}

INSTANTIATE_TEST_SUITE_P(Windows, StationScreenIn, ::testing::ValuesIn(kScreens),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren
