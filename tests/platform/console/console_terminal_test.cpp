// The system console in a real terminal: the probe program runs in a tmux
// pane, keys go in with send-keys and the screen comes back with
// capture-pane.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/terminal.h"

namespace voren::test {
namespace {

using namespace std::chrono_literals;

const std::string kProbe = VOREN_CONSOLE_PROBE;

bool shows(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class TerminalConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!tmuxPresent()) GTEST_SKIP() << "tmux is missing (scripts/install-deps installs it)";
  }

  // The probe with arguments (milliseconds per progress step) in a 100 by 30 pane.
  void startProbe(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), kProbe);
    std::string error;
    ASSERT_TRUE(terminal_.start(arguments, {}, &error, 100, 30)) << error;
  }

  Terminal terminal_;
};

TEST_F(TerminalConsole, DialogueEchoHeldBackKeysAndProgressInPlace) {
  startProbe({"5"});
  ASSERT_TRUE(terminal_.waitForLine("^Podaj liczbe:$"));
  terminal_.press("a");
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz 97"));
  terminal_.press("Up");
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz 224"));
  terminal_.press("Escape");  // alone: no sequence follows it
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz 27"));
  terminal_.press("F1");
  ASSERT_TRUE(terminal_.waitForLine("Odrzucony klawisz 0$"));
  terminal_.send({"Enter", " 0x1f", "Enter"});
  // Part way: one progress line, rewritten as blocks go.
  ASSERT_TRUE(terminal_.waitForLine("^Postep: ([1-9]|[1-9][0-9])%$"));
  ASSERT_TRUE(terminal_.waitForLine("^Zatrzymany klawisz 13$"));
  terminal_.press("q");
  ASSERT_EQ(terminal_.waitForExit(10s), 0);

  // The line written before the probe is gone: the clear wiped it.
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
      "",
      "[exit 0]",
  };
  auto lines = terminal_.lines();
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  EXPECT_TRUE(terminal_.terminalRestored());
}

TEST_F(TerminalConsole, KeysTypedAheadOfTheCursorQueryAreKept) {
  startProbe();
  ASSERT_TRUE(terminal_.waitForLine("^Podaj liczbe:$"));
  terminal_.send({"12", "Enter", "z"});
  ASSERT_TRUE(terminal_.waitForLine("^Nastepny klawisz"));
  const auto lines = terminal_.lines();
  EXPECT_TRUE(shows(lines, "Postep: 100%"));
  EXPECT_TRUE(shows(lines, "Zatrzymany klawisz 13"));
  EXPECT_TRUE(shows(lines, "Nastepny klawisz 122"));
  EXPECT_TRUE(terminal_.terminalRestored());
}

class TerminalConsoleSignal : public TerminalConsole, public ::testing::WithParamInterface<int> {};

TEST_P(TerminalConsoleSignal, DuringTheRunRestoresTheTerminal) {
  // The probe dies by the signal itself: the wrapper reports 128 + its number.
  const int signal = GetParam();
  startProbe({"40"});
  ASSERT_TRUE(terminal_.waitForLine("^Podaj liczbe:$"));
  terminal_.send({"7", "Enter"});
  ASSERT_TRUE(terminal_.waitForLine("^Postep: [1-9]"));
  if (signal == SIGINT) {
    // To the whole group: timeout passes it on, a second one to the probe.
    terminal_.press("C-c");
  } else {
    // More of the same while the first is handled, as a parent passing the
    // signal on sends it.
    const auto probe = terminal_.programPid();
    ASSERT_TRUE(probe);
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, *probe, 0));
    ASSERT_GE(pidfd, 0);
    pollfd ended{pidfd, POLLIN, 0};
    for (const auto end = std::chrono::steady_clock::now() + 2s;
         poll(&ended, 1, 0) == 0 && std::chrono::steady_clock::now() < end;) {
      syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0);
    }
    close(pidfd);
  }
  std::string last;
  EXPECT_EQ(terminal_.waitForExit(10s, &last), 128 + signal) << last;
  EXPECT_TRUE(terminal_.terminalRestored());
}

INSTANTIATE_TEST_SUITE_P(IntTermHup, TerminalConsoleSignal,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

TEST_F(TerminalConsole, CtrlZHandsTheTerminalBackAndFgTakesItAgain) {
  // dash, because bash puts its own terminal mode back when a job stops and
  // would hide a probe that does not.
  std::string error;
  ASSERT_TRUE(terminal_.start({"env", "PS1=$ ", "dash", "-i"}, {}, &error, 100, 30)) << error;
  ASSERT_TRUE(terminal_.waitForLine("^\\$$"));
  terminal_.type("stty -g > " + terminal_.file("before-stop") + "; " + kProbe);
  terminal_.press("Enter");
  ASSERT_TRUE(terminal_.waitForLine("^Podaj liczbe:$"));
  terminal_.press("C-z");
  ASSERT_TRUE(terminal_.waitForLine("Stopped"));
  terminal_.type("stty -g > " + terminal_.file("stopped") + "; fg");
  terminal_.press("Enter");
  ASSERT_TRUE(terminal_.waitForLine("console_probe$"));  // fg names the job it resumes
  // Key by key again: q alone ends the key wait.
  terminal_.send({"5", "Enter", "q"});
  ASSERT_TRUE(terminal_.waitForLine("^Nastepny klawisz 113$"));
  EXPECT_FALSE(readFile(terminal_.file("before-stop")).empty());
  EXPECT_EQ(readFile(terminal_.file("stopped")), readFile(terminal_.file("before-stop")));
}

TEST_F(TerminalConsole, OutputToAFileGetsNoTerminalSequences) {
  const auto output = terminal_.file("out");
  std::string error;
  ASSERT_TRUE(
      terminal_.start({"sh", "-c", "exec \"$0\" > \"$1\"", kProbe, output}, {}, &error, 100, 30))
      << error;
  // Keys typed before the probe takes the terminal are echoed by the
  // terminal itself, on the line before the exit status.
  terminal_.send({"8", "Enter", "q"});
  ASSERT_EQ(terminal_.waitForExit(10s), 0);
  const auto text = readFile(output);
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("Postep: 0% ... 100%"), std::string::npos) << text;
  EXPECT_NE(text.find("Nastepny klawisz 113"), std::string::npos) << text;
  EXPECT_TRUE(terminal_.terminalRestored());
}

// Without a terminal at all: a pipe or nothing on standard input.
TEST(RedirectedConsole, NothingHangsWithoutATerminal) {
  const auto run = [](const std::string& redirected) {
    return runCommand({"sh", "-c", redirected + " 2>/dev/null", kProbe}, 10s);
  };

  auto result = run("printf 'x7\\n' | \"$0\" 1");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output.find('\x1b'), std::string::npos) << result.output;
  for (const char* part : {"Podaj liczbe: x", "Odrzucony klawisz 120", "Podaj liczbe: 7\r\n",
                           "Postep: 0% ... 100%", "Zatrzymany klawisz 13",
                           // the wait ends with the input: no key comes any more
                           "Nastepny klawisz -1"}) {
    EXPECT_NE(result.output.find(part), std::string::npos) << part << " in " << result.output;
  }

  result = run("\"$0\" < /dev/null");
  EXPECT_EQ(result.status, 3);
  EXPECT_NE(result.output.find("Koniec wejscia"), std::string::npos);
  EXPECT_EQ(run("\"$0\" <&-").status, 3);  // no standard input at all
}

}  // namespace
}  // namespace voren::test
