// The Windows console code in a real terminal: the Windows builds of the
// console probe and of the console input test under Wine in a tmux pane.
// Skips, saying why, when the windows build or Wine is missing.
//
// Where Wine differs from Windows (Windows is the reference):
// - Cursor keys come without the enhanced-key flag, so the Up arrow reads
//   as 0 and its scan code instead of 224 and its scan code.
// - Wine's own console host puts the terminal into raw mode and gives it
//   back when it ends, a moment after the program: the terminal is checked
//   once the wineserver has ended.
// - Wine's screen model starts blank whatever the terminal showed, so the
//   clear at the start leaves text that was there before Wine started
//   wherever the probe writes nothing: the first line is checked by its
//   start only.
// - Without a terminal Wine gives a program no console it can use:
//   AllocConsole succeeds and its handles fail with 6.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/terminal.h"
#include "tests/support/wine.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;

const std::string kWindowsProbe =
    VOREN_WINDOWS_BUILD_DIR "/tests/platform/console/console_probe.exe";
const std::string kWindowsInputTest =
    VOREN_WINDOWS_BUILD_DIR "/tests/platform/console/console_input_test.exe";

class WineConsole : public ::testing::Test {
 protected:
  // Why a program cannot run here, or nothing.
  static std::string missing(const std::string& program) {
    if (!tmuxPresent()) return "tmux is missing (scripts/install-deps installs it)";
    if (!std::filesystem::exists(kWine)) return "Wine is missing";
    if (!std::filesystem::exists(program)) {
      return "no " + program + " (build the windows preset first)";
    }
    return "";
  }

  // The Windows program (a command line) under Wine in a 100 by 30 pane.
  void startUnderWine(const std::vector<std::string>& program) {
    std::string error;
    ASSERT_TRUE(terminal_.start(underWine(program), {}, &error, 100, 30)) << error;
  }

  // The terminal once Wine's console host has let go of it: it ends with
  // the prefix's wineserver.
  ::testing::AssertionResult terminalRestoredAfterWine() {
    if (!terminal_.waitForExit(120s)) return ::testing::AssertionFailure() << "Wine has not ended";
    runCommand({"env", "WINEPREFIX=" + winePrefix(), kWineServer, "-w"}, 120s);
    return terminal_.terminalRestored();
  }

  Terminal terminal_;
};

TEST_F(WineConsole, DialogueProgressAndKeyWaitThroughTheConsoleApi) {
  if (const auto why = missing(kWindowsProbe); !why.empty()) GTEST_SKIP() << why;
  startUnderWine({kWindowsProbe, "5"});
  // A fresh Wine prefix takes a while.
  ASSERT_TRUE(terminal_.waitForLine("^Podaj liczbe:$", 120s));
  terminal_.press("a");
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz 97", 20s));
  terminal_.press("Up");
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz (0|224)$", 20s));
  terminal_.send({" 0x1f", "Enter"});
  ASSERT_TRUE(terminal_.waitForLine("^Zatrzymany klawisz 13$", 30s));
  terminal_.press("q");
  ASSERT_EQ(terminal_.waitForExit(30s), 0);

  const std::vector<std::string> expected = {
      "Proba konsoli", "", "Podaj liczbe: a", "Odrzucony klawisz 97", "Podaj liczbe:",
      // the arrow's code line is checked above
      "Podaj liczbe:  0x1f", "", "Liczba 31", "", "Postep: 100%", "", "Zatrzymany klawisz 13",
      "Nastepny klawisz 113", "", "[exit 0]"};
  auto lines = terminal_.lines();
  ASSERT_GT(lines.size(), 5u);
  lines.erase(lines.begin() + 5);  // "Odrzucony klawisz 0" under Wine
  EXPECT_EQ(lines[0].rfind("Proba konsoli", 0), 0u) << lines[0];
  lines[0] = "Proba konsoli";
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(terminalRestoredAfterWine());
}

// Wine gives a console to a program started on a terminal only, so the
// console input test, which writes key records into its own console, runs
// here rather than under ctest's Windows leg (where it skips).
TEST_F(WineConsole, KeyRecordsWrittenIntoTheConsoleInput) {
  if (const auto why = missing(kWindowsInputTest); !why.empty()) GTEST_SKIP() << why;
  const std::string out = terminal_.file("out");
  std::vector<std::string> redirected = {"sh", "-c", "exec \"$@\" > \"$0\" 2>&1", out};
  const auto wine = underWine({kWindowsInputTest});
  redirected.insert(redirected.end(), wine.begin(), wine.end());
  std::string error;
  ASSERT_TRUE(terminal_.start(redirected, {}, &error, 100, 30)) << error;
  const auto status = terminal_.waitForExit(120s);
  const auto text = readFile(out);
  EXPECT_NE(text.find("[  PASSED  ] 1 test"), std::string::npos) << text;
  EXPECT_EQ(text.find("SKIPPED"), std::string::npos) << text;
  EXPECT_EQ(status, 0) << text;
}

}  // namespace
}  // namespace voren::test
