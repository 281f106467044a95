#include "tests/integration/terminal.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/integration/process.h"

namespace voren::itest {
namespace {

using Clock = std::chrono::steady_clock;

// Runs the program (for five minutes at most, so nothing outlives a test
// that died), then leaves its exit status and the terminal's mode on the
// screen for the test to read. --foreground keeps the program in the
// terminal's foreground group, so it may read keys.
constexpr const char* kWrapper =
    "timeout --foreground -k 5 300 \"$@\"; status=$?; "
    "mode=$(stty -a | tr ' ;' '\\n\\n' | grep -xE -- '-?(icanon|echo)' | tr '\\n' ' '); "
    "printf '\\n[exit %d] [tty %s]\\n' \"$status\" \"$mode\"; "
    "exec sleep 120";

std::string quoteForShell(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

std::vector<std::string> TerminalSession::tmux(std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin(), {"tmux", "-L", socket_, "-f", "/dev/null"});
  return arguments;
}

bool TerminalSession::start(const std::vector<std::string>& argv,
                            const std::map<std::string, std::string>& env, std::string* error,
                            int columns, int rows) {
  directory_ = makeTempDir("voren-term");
  socket_ =
      "voren-test-" + std::to_string(getpid()) + "-" + directory_.substr(directory_.rfind('-') + 1);
  std::vector<std::string> command = {"new-session",           "-d", "-x",
                                      std::to_string(columns), "-y", std::to_string(rows)};
  for (const auto& [name, value] : env) command.insert(command.end(), {"-e", name + "=" + value});
  std::string shell = "sh -c " + quoteForShell(kWrapper) + " wrapper";
  for (const auto& arg : argv) shell += " " + quoteForShell(arg);
  command.push_back(shell);
  CommandResult result = runCommand(tmux(command));
  if (result.status != 0) {
    if (error) *error = "tmux new-session failed: " + result.output;
    return false;
  }
  running_ = true;
  return true;
}

void TerminalSession::type(const std::string& text) { runCommand(tmux({"send-keys", "-l", text})); }

void TerminalSession::press(const std::string& key) { runCommand(tmux({"send-keys", key})); }

void TerminalSession::sendBytes(const std::string& bytes) {
  std::vector<std::string> command = {"send-keys", "-H"};
  for (const char byte : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
    command.push_back(hex);
  }
  runCommand(tmux(command));
}

void TerminalSession::resize(int columns, int rows) {
  runCommand(tmux({"resize-window", "-x", std::to_string(columns), "-y", std::to_string(rows)}));
}

std::string TerminalSession::screen() { return runCommand(tmux({"capture-pane", "-p"})).output; }

bool TerminalSession::waitFor(const std::function<bool(const std::string&)>& holds,
                              std::chrono::milliseconds timeout, std::string* last) {
  auto deadline = Clock::now() + timeout;
  for (;;) {
    std::string now = screen();
    bool held = holds(now);
    if (held || Clock::now() >= deadline) {
      if (last) *last = now;
      return held;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool TerminalSession::waitForText(const std::string& text, std::chrono::milliseconds timeout,
                                  std::string* last) {
  return waitFor([&](const std::string& screen) { return screen.find(text) != std::string::npos; },
                 timeout, last);
}

std::optional<int> TerminalSession::waitForExit(std::chrono::milliseconds timeout,
                                                std::string* last) {
  static const std::regex exitLine(R"(\[exit (\d+)\])");
  std::smatch match;
  std::string text;
  if (!waitFor([&](const std::string& screen) { return std::regex_search(screen, exitLine); },
               timeout, &text)) {
    if (last) *last = text;
    return std::nullopt;
  }
  if (last) *last = text;
  std::regex_search(text, match, exitLine);
  return std::stoi(match[1]);
}

bool TerminalSession::terminalRestored() {
  std::string text = screen();
  return text.find("[tty icanon echo ]") != std::string::npos;
}

std::optional<pid_t> TerminalSession::programPid() {
  std::string shell = runCommand(tmux({"display-message", "-p", "#{pane_pid}"})).output;
  if (shell.empty()) return std::nullopt;
  // The wrapper shell runs timeout, which runs the program.
  pid_t pid = std::stoi(shell);
  for (int depth = 0; depth < 2; ++depth) {
    std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                           "/children");
    if (!(children >> pid)) return std::nullopt;
  }
  return pid;
}

void TerminalSession::kill() {
  if (running_) runCommand(tmux({"kill-server"}));
  running_ = false;
  if (!directory_.empty()) rmdir(directory_.c_str());
}

int descriptorsOpenOn(pid_t pid, const std::string& path) {
  std::string directory = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = opendir(directory.c_str());
  if (!fds) return 0;
  int count = 0;
  while (dirent* entry = readdir(fds)) {
    char target[4096];
    std::string link = directory + "/" + entry->d_name;
    ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == path) ++count;
  }
  closedir(fds);
  return count;
}

}  // namespace voren::itest
