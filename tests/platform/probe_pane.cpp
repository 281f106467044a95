#include "tests/platform/probe_pane.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace voren::probe {
namespace {

std::string singleQuoted(const std::string& text) { return "'" + text + "'"; }

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

void shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) {
    // Failures show up in what the pane shows; nothing to add here.
  }
}

}  // namespace

std::string readFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

Scratch::Scratch() {
  char pattern[] = "/tmp/voren-console-XXXXXX";
  if (const char* made = mkdtemp(pattern)) path_ = made;
}

Scratch::~Scratch() {
  if (!path_.empty()) shell("rm -rf " + singleQuoted(path_));
}

std::string snapshotScript(const Scratch& scratch, const std::string& command,
                           const std::string& settle) {
  const auto script = scratch.file("script");
  std::ofstream(script) << "trap 'echo interrupted' INT\n"
                        << "stty -g > " << scratch.file("before") << "\n"
                        << "echo Przed czyszczeniem\n"
                        << command << "\n"
                        << "echo status=$?\n"
                        << settle << "\n"
                        << "stty -g > " << scratch.file("after") << "\n"
                        << "echo snapshots\n"
                        << "sleep 600\n";
  return script;
}

Pane::Pane(const std::string& script)
    : tmux_("tmux -S " + singleQuoted(socketFolder_.file("tmux")) + " ") {
  shell(tmux_ + "-f /dev/null new-session -d -x 100 -y 30 -s probe " +
        singleQuoted("bash " + script));
}

Pane::~Pane() { shell(tmux_ + "kill-server 2>/dev/null"); }

void Pane::send(const std::string& keys) { shell(tmux_ + "send-keys -t probe " + keys); }

std::vector<std::string> Pane::lines() {
  std::vector<std::string> result;
  std::istringstream text(run(tmux_ + "capture-pane -p -t probe 2>/dev/null"));
  for (std::string line; std::getline(text, line);) {
    line.erase(line.find_last_not_of(' ') + 1);
    result.push_back(line);
  }
  return result;
}

bool Pane::waitFor(const std::string& pattern, std::chrono::milliseconds timeout) {
  const std::regex wanted(pattern);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    for (const auto& line : lines()) {
      if (std::regex_search(line, wanted)) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

pid_t Pane::commandPid() {
  const std::string shellPid = run(tmux_ + "display-message -p -t probe '#{pane_pid}'");
  const int pid = std::atoi(shellPid.c_str());
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  pid_t child = 0;
  children >> child;
  return child;
}

::testing::AssertionResult terminalRestored(Pane& pane, const Scratch& scratch) {
  if (!pane.waitFor("^snapshots$", std::chrono::seconds(30))) {
    return ::testing::AssertionFailure() << "the second snapshot never came";
  }
  const auto before = readFile(scratch.file("before"));
  const auto after = readFile(scratch.file("after"));
  if (before.empty() || before != after) {
    return ::testing::AssertionFailure() << "mode before " << before << " after " << after;
  }
  return ::testing::AssertionSuccess();
}

bool tmuxPresent() { return std::system("command -v tmux >/dev/null 2>&1") == 0; }

}  // namespace voren::probe
