// The system console in a real terminal: the probe program runs in a tmux
// pane, keys go in with send-keys and the screen comes back with
// capture-pane.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const std::string kProbe = VOREN_CONSOLE_PROBE;

std::string run(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string singleQuoted(const std::string& text) { return "'" + text + "'"; }

// A scratch folder for the pane's files.
class Scratch {
 public:
  Scratch() {
    char pattern[] = "/tmp/voren-console-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~Scratch() { std::system(("rm -rf " + singleQuoted(path_)).c_str()); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// One pane of a tmux server of our own, 100 by 30, running a shell script.
class Pane {
 public:
  explicit Pane(const std::string& script)
      : tmux_("tmux -L voren-console-" + std::to_string(getpid()) + " ") {
    std::system((tmux_ + "kill-server 2>/dev/null").c_str());
    std::system((tmux_ + "-f /dev/null new-session -d -x 100 -y 30 -s probe " +
                 singleQuoted("bash " + script))
                    .c_str());
  }
  ~Pane() { std::system((tmux_ + "kill-server 2>/dev/null").c_str()); }

  void send(const std::string& keys) {
    std::system((tmux_ + "send-keys -t probe " + keys).c_str());
  }

  std::vector<std::string> lines() {
    std::vector<std::string> result;
    std::istringstream text(run(tmux_ + "capture-pane -p -t probe 2>/dev/null"));
    for (std::string line; std::getline(text, line);) {
      line.erase(line.find_last_not_of(' ') + 1);
      result.push_back(line);
    }
    return result;
  }

  // Polls the screen until a line matches, for at most ten seconds.
  bool waitFor(const std::string& pattern) {
    const std::regex wanted(pattern);
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      for (const auto& line : lines()) {
        if (std::regex_search(line, wanted)) return true;
      }
      std::this_thread::sleep_for(20ms);
    }
    return false;
  }

  // The probe: the one child of the pane's shell.
  pid_t probePid() {
    const std::string shell = run(tmux_ + "display-message -p -t probe '#{pane_pid}'");
    std::ifstream children("/proc/" + std::to_string(std::stoi(shell)) + "/task/" +
                           std::to_string(std::stoi(shell)) + "/children");
    pid_t pid = 0;
    children >> pid;
    return pid;
  }

 private:
  std::string tmux_;
};

// A script that runs the probe between two snapshots of the terminal's
// mode; the trap keeps the shell alive when Ctrl-C ends the probe.
std::string probeBetweenSnapshots(const Scratch& scratch, const std::string& probeArguments) {
  const auto script = scratch.file("script");
  std::ofstream(script) << "trap 'echo interrupted' INT\nstty -g > " << scratch.file("before")
                        << "\n"
                        << kProbe << " " << probeArguments << "\necho status=$?\nstty -g > "
                        << scratch.file("after") << "\nsleep 60\n";
  return script;
}

class TerminalConsole : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v tmux >/dev/null 2>&1") != 0) {
      GTEST_SKIP() << "tmux is missing (scripts/install-deps installs it)";
    }
  }

  void expectTerminalRestored(Pane& pane) {
    ASSERT_TRUE(pane.waitFor("^status="));
    std::this_thread::sleep_for(100ms);  // the second snapshot follows the status line
    const auto before = readFile(scratch_.file("before"));
    EXPECT_FALSE(before.empty());
    EXPECT_EQ(readFile(scratch_.file("after")), before);
  }

  Scratch scratch_;
};

TEST_F(TerminalConsole, DialogueEchoHeldBackKeysAndProgressInPlace) {
  Pane pane(probeBetweenSnapshots(scratch_, "5"));
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("a");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 97"));
  pane.send("Up");
  ASSERT_TRUE(pane.waitFor("Odrzucony klawisz 224"));
  pane.send("Enter ' 0x1f' Enter");
  // Part way: one progress line, rewritten as blocks go.
  ASSERT_TRUE(pane.waitFor("^Postep: ([1-9]|[1-9][0-9])%$"));
  ASSERT_TRUE(pane.waitFor("^Zatrzymany klawisz 13$"));
  pane.send("q");
  ASSERT_TRUE(pane.waitFor("^status=0$"));

  const std::vector<std::string> expected = {
      "Proba konsoli", "", "Podaj liczbe: a", "Odrzucony klawisz 97",
      "Podaj liczbe:", "Odrzucony klawisz 224",
      // the arrow's second code is no second answer
      "Podaj liczbe:", " 0x1f", "", "Liczba 31", "", "Postep: 100%", "", "Zatrzymany klawisz 13",
      "Nastepny klawisz 113", "status=0"};
  auto lines = pane.lines();
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
  expectTerminalRestored(pane);
}

TEST_F(TerminalConsole, KeysTypedAheadOfTheCursorQueryAreKept) {
  Pane pane(probeBetweenSnapshots(scratch_, ""));
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("12 Enter z");
  ASSERT_TRUE(pane.waitFor("^Nastepny klawisz"));
  const auto lines = pane.lines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Postep: 100%"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Zatrzymany klawisz 13"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Nastepny klawisz 122"), lines.end());
  expectTerminalRestored(pane);
}

TEST_F(TerminalConsole, CtrlCDuringTheRunRestoresTheTerminal) {
  Pane pane(probeBetweenSnapshots(scratch_, "40"));
  ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
  pane.send("7 Enter");
  ASSERT_TRUE(pane.waitFor("^Postep: [1-9]"));
  pane.send("C-c");
  ASSERT_TRUE(pane.waitFor("^status=130$"));  // ended by SIGINT itself
  expectTerminalRestored(pane);
}

TEST_F(TerminalConsole, TerminationAndHangUpRestoreTheTerminal) {
  for (const auto& [signal, status] : {std::pair{SIGTERM, "143"}, {SIGHUP, "129"}}) {
    SCOPED_TRACE(signal);
    Pane pane(probeBetweenSnapshots(scratch_, "40"));
    ASSERT_TRUE(pane.waitFor("^Podaj liczbe:$"));
    pane.send("7 Enter");
    ASSERT_TRUE(pane.waitFor("^Postep: [1-9]"));
    const pid_t probe = pane.probePid();
    ASSERT_GT(probe, 0);
    kill(probe, signal);
    ASSERT_TRUE(pane.waitFor(std::string("^status=") + status + "$"));
    expectTerminalRestored(pane);
  }
}

TEST_F(TerminalConsole, OutputToAFileGetsNoTerminalSequences) {
  const auto output = scratch_.file("out");
  Pane pane(probeBetweenSnapshots(scratch_, "> " + output));
  std::this_thread::sleep_for(200ms);
  pane.send("'8' Enter q");
  ASSERT_TRUE(pane.waitFor("^status=0$"));
  const auto text = readFile(output);
  EXPECT_EQ(text.find('\x1b'), std::string::npos) << text;
  EXPECT_NE(text.find("Postep: 0% ... 100%"), std::string::npos) << text;
  EXPECT_NE(text.find("Nastepny klawisz 113"), std::string::npos) << text;
  expectTerminalRestored(pane);
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
  auto text = readFile(output);
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
