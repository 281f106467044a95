// The system console in a real terminal: the probe program runs in a tmux
// pane, keys go in with send-keys and the screen comes back with
// capture-pane.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/platform/probe_pane.h"

namespace voren::probe {
namespace {

const std::string kProbe = VOREN_CONSOLE_PROBE;

bool shows(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class TerminalConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tmuxPresent()) GTEST_SKIP() << "tmux is missing (scripts/install-deps installs it)";
  }

  // The probe with arguments (milliseconds per progress step, redirections).
  std::string probe(const std::string& arguments) {
    return snapshotScript(scratch_, kProbe + " " + arguments);
  }

  Scratch scratch_;
};

TEST_F(TerminalConsole, DialogueEchoHeldBackKeysAndProgressInPlace) {
  Pane pane(probe("5"));
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("a");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 97"));
  pane.send("Up");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 224"));
  pane.send("Escape");  // alone: no sequence follows it
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 27"));
  pane.send("F1");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 0$"));
  pane.send("Enter ' 0x1f' Enter");
  // Part way: one progress line, rewritten as blocks go.
  ASSERT_TRUE(pane.waitFor("^Postep: ([1-9]|[1-9][0-9])%$"));
  ASSERT_TRUE(pane.waitFor("^Zatrzymany klawisz 13$"));
  pane.send("q");
  ASSERT_TRUE(pane.waitFor("^status=0$"));

  const std::vector<std::string> expected = {
      "Proba konsoli",
      "",
      "Podaj liczbe: a",
      "Odrzucony klawisz 97",
      "Podaj liczbe:",
      "Odrzucony klawisz 224",
      "Podaj liczbe:",  // the arrow's second code is no second answer
      "Odrzucony klawisz 27",
      "Podaj liczbe:",
      "Odrzucony klawisz 0",
      "Podaj liczbe:",  // Enter before the number: skipped, echoed as a line break
      " 0x1f",
      "",
      "Liczba 31",
      "",
      "Postep: 100%",
      "",
      "Zatrzymany klawisz 13",
      "Nastepny klawisz 113",
      "status=0",
  };
  auto lines = pane.lines();
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(terminalRestored(pane, scratch_));
}

TEST_F(TerminalConsole, KeysTypedAheadOfTheCursorQueryAreKept) {
  Pane pane(probe(""));
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("12 Enter z");
  ASSERT_TRUE(pane.waitFor("^Nastepny klawisz"));
  const auto lines = pane.lines();
  EXPECT_TRUE(shows(lines, "Postep: 100%"));
  EXPECT_TRUE(shows(lines, "Zatrzymany klawisz 13"));
  EXPECT_TRUE(shows(lines, "Nastepny klawisz 122"));
  EXPECT_TRUE(terminalRestored(pane, scratch_));
}

TEST_F(TerminalConsole, SignalsDuringTheRunRestoreTheTerminal) {
  // The probe dies by the signal itself: the shell reports 128 + its number.
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    Scratch scratch;
    Pane pane(snapshotScript(scratch, kProbe + " 40"));
    ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
    pane.send("7 Enter");
    ASSERT_TRUE(pane.waitFor("^Postep: [1-9]"));
    if (signal == SIGINT) {
      pane.send("C-c");
    } else {
      const pid_t probe = pane.commandPid();
      ASSERT_GT(probe, 0);
      kill(probe, signal);
    }
    EXPECT_TRUE(pane.waitFor("^status=" + std::to_string(128 + signal) + "$"));
    EXPECT_TRUE(terminalRestored(pane, scratch));
  }
}

TEST_F(TerminalConsole, CtrlZHandsTheTerminalBackAndFgTakesItAgain) {
  // dash, because bash puts its own terminal mode back when a job stops and
  // would hide a probe that does not.
  const auto script = scratch_.file("interactive");
  std::ofstream(script) << "PS1='$ ' exec dash -i\n";
  Pane pane(script);
  ASSERT_TRUE(pane.waitFor("^\\$$"));
  pane.send("'stty -g > " + scratch_.file("before") + "; " + kProbe + "' Enter");
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("C-z");
  ASSERT_TRUE(pane.waitFor("Stopped"));
  pane.send("'stty -g > " + scratch_.file("stopped") + "; fg' Enter");
  ASSERT_TRUE(pane.waitFor("console_probe$"));  // fg names the job it resumes
  // Key by key again: q alone ends the key wait.
  pane.send("5 Enter q");
  ASSERT_TRUE(pane.waitFor("^Nastepny klawisz 113$"));
  EXPECT_FALSE(readFile(scratch_.file("before")).empty());
  EXPECT_EQ(readFile(scratch_.file("stopped")), readFile(scratch_.file("before")));
}

TEST_F(TerminalConsole, OutputToAFileGetsNoTerminalSequences) {
  const auto output = scratch_.file("out");
  Pane pane(probe("> " + output));
  // Keys typed before the probe takes the terminal are echoed by the
  // terminal itself, on the line the status follows.
  pane.send("8 Enter q");
  ASSERT_TRUE(pane.waitFor("status=0$"));
  const auto text = readFile(output);
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("Postep: 0% ... 100%"), std::string::npos) << text;
  EXPECT_NE(text.find("Nastepny klawisz 113"), std::string::npos) << text;
  EXPECT_TRUE(terminalRestored(pane, scratch_));
}

// Without a terminal at all: a pipe or nothing on standard input.
TEST(RedirectedConsole, NothingHangsWithoutATerminal) {
  Scratch scratch;
  const auto output = scratch.file("out");
  const auto status = [&](const std::string& command) {
    const int raw = std::system(("timeout -k 1 10 " + command + " > " + output).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };

  EXPECT_EQ(status("printf 'x7\\n' | " + kProbe + " 1"), 0);
  const auto text = readFile(output);
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  for (const char* part : {"Podaj liczbe: x", "Odrzucony klawisz 120", "Podaj liczbe: 7\r\n",
                           "Postep: 0% ... 100%", "Zatrzymany klawisz 13",
                           // the wait ends with the input: no key comes any more
                           "Nastepny klawisz -1"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
  }

  EXPECT_EQ(status(kProbe + " < /dev/null"), 3);
  EXPECT_NE(readFile(output).find("Koniec wejscia"), std::string::npos);
  EXPECT_EQ(status(kProbe + " <&-"), 3);  // no standard input at all
}

}  // namespace
}  // namespace voren::probe
