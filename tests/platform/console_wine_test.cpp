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

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/platform/probe_pane.h"

namespace voren::probe {
namespace {

using namespace std::chrono_literals;

const std::string kWindowsProbe = VOREN_WINDOWS_CONSOLE_PROBE;
const std::string kWindowsInputTest = VOREN_WINDOWS_CONSOLE_INPUT_TEST;
const std::string kWineRun = VOREN_WINE_RUN;

class WineConsole : public ::testing::Test {
 protected:
  // Why a program cannot run here, or nothing.
  static std::string missing(const std::string& program) {
    if (!tmuxPresent()) return "tmux is missing (scripts/install-deps installs it)";
    if (!std::filesystem::exists("/usr/lib/wine/wine64")) return "Wine is missing";
    if (!std::filesystem::exists(program)) {
      return "no " + program + " (build the windows preset first)";
    }
    return "";
  }

  // The Windows program with arguments under Wine in a pane of its own.
  std::string underWine(const std::string& command) {
    // wine-run's prefix; its wineserver ends with the console host.
    const char* ownPrefix = std::getenv("VOREN_WINEPREFIX");
    const std::string prefix =
        ownPrefix && *ownPrefix ? ownPrefix : VOREN_WINDOWS_BUILD_DIR "/wineprefix";
    return snapshotScript(scratch_, kWineRun + " " + command,
                          "WINEPREFIX=" + prefix + " /usr/lib/wine/wineserver -w");
  }

  Scratch scratch_;
};

TEST_F(WineConsole, DialogueProgressAndKeyWaitThroughTheConsoleApi) {
  if (const auto why = missing(kWindowsProbe); !why.empty()) GTEST_SKIP() << why;
  Pane pane(underWine(kWindowsProbe + " 5"));
  // A fresh Wine prefix takes a while.
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$", 120s));
  pane.send("a");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 97", 20s));
  pane.send("Up");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz (0|224)$", 20s));
  pane.send("' 0x1f' Enter");
  ASSERT_TRUE(pane.waitFor("^Zatrzymany klawisz 13$", 30s));
  pane.send("q");
  ASSERT_TRUE(pane.waitFor("^status=0$", 30s));

  const std::vector<std::string> expected = {
      "Proba konsoli", "", "Podaj liczbe: a", "Odrzucony klawisz 97", "Podaj liczbe:",
      // the arrow's code line is checked above
      "Podaj liczbe:  0x1f", "", "Liczba 31", "", "Postep: 100%", "", "Zatrzymany klawisz 13",
      "Nastepny klawisz 113", "status=0"};
  auto lines = pane.lines();
  ASSERT_GT(lines.size(), 5u);
  lines.erase(lines.begin() + 5);  // "Odrzucony klawisz 0" under Wine
  EXPECT_EQ(lines[0].rfind("Proba konsoli", 0), 0u) << lines[0];
  lines[0] = "Proba konsoli";
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(terminalRestored(pane, scratch_));
}

// Wine gives a console to a program started on a terminal only, so the
// console input test, which writes key records into its own console, runs
// here rather than under ctest's Windows leg (where it skips).
TEST_F(WineConsole, KeyRecordsWrittenIntoTheConsoleInput) {
  if (const auto why = missing(kWindowsInputTest); !why.empty()) GTEST_SKIP() << why;
  Pane pane(underWine(kWindowsInputTest + " > " + scratch_.file("out") + " 2>&1"));
  ASSERT_TRUE(pane.waitFor("^status=", 120s));
  const auto out = readFile(scratch_.file("out"));
  EXPECT_NE(out.find("[  PASSED  ] 1 test"), std::string::npos) << out;
  EXPECT_EQ(out.find("SKIPPED"), std::string::npos) << out;
  EXPECT_TRUE(pane.waitFor("^status=0$", 1s)) << out;
}

}  // namespace
}  // namespace voren::probe
