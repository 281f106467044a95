#include "tests/support/terminal.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/process.h"

namespace voren::test {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// $0 is the file for the mode before, "$@" the program. It runs for five
// minutes at most, so nothing outlives a test that died; --foreground keeps
// it in the terminal's foreground group, so it may read keys. The trap keeps
// the wrapper alive when Ctrl-C ends the program, without the program
// inheriting an ignored SIGINT.
constexpr const char* kWrapper =
    "trap : INT; stty -g > \"$0\"; echo 'before the program'; "
    "timeout --foreground -k 5 300 \"$@\"; printf '\\n[exit %d]\\n' $?; exec sleep 120";

std::string withoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

std::vector<std::string> rowsOf(const std::string& captured) {
  std::vector<std::string> result;
  std::istringstream text(captured);
  for (std::string line; std::getline(text, line);) {
    line.erase(line.find_last_not_of(' ') + 1);
    result.push_back(line);
  }
  return result;
}

}  // namespace

Terminal::Terminal() : directory_(makeTempDir("voren-term")), socket_(file("tmux")) {}

Terminal::~Terminal() {
  kill();
  std::error_code ignored;
  if (!directory_.empty()) std::filesystem::remove_all(directory_, ignored);
}

std::vector<std::string> Terminal::tmux(std::vector<std::string> arguments) const {
  arguments.insert(arguments.begin(), {"tmux", "-S", socket_, "-f", "/dev/null"});
  return arguments;
}

bool Terminal::start(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& env, std::string* error, int columns,
                     int rows) {
  std::vector<std::string> command = {"new-session",           "-d", "-x",
                                      std::to_string(columns), "-y", std::to_string(rows)};
  for (const auto& [name, value] : env) command.insert(command.end(), {"-e", name + "=" + value});
  // tmux hands the command to a shell as one string: each word quoted.
  const auto quoted = [](const std::string& text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
  };
  std::string shell = "sh -c " + quoted(kWrapper) + " " + quoted(file("before"));
  for (const auto& arg : argv) {
    shell += ' ';
    shell += quoted(arg);
  }
  command.push_back(shell);
  CommandResult result = runCommand(tmux(command));
  if (result.status != 0) {
    if (error) *error = "tmux new-session failed: " + result.output;
    return false;
  }
  running_ = true;
  return true;
}

void Terminal::type(const std::string& text) { runCommand(tmux({"send-keys", "-l", text})); }

void Terminal::press(const std::string& key) { runCommand(tmux({"send-keys", key})); }

void Terminal::send(const std::vector<std::string>& keys) {
  std::vector<std::string> command = {"send-keys"};
  command.insert(command.end(), keys.begin(), keys.end());
  runCommand(tmux(command));
}

void Terminal::sendBytes(const std::string& bytes) {
  std::vector<std::string> command = {"send-keys", "-H"};
  for (const char byte : bytes) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(byte));
    command.push_back(hex);
  }
  runCommand(tmux(command));
}

void Terminal::resize(int columns, int rows) {
  runCommand(tmux({"resize-window", "-x", std::to_string(columns), "-y", std::to_string(rows)}));
}

std::string Terminal::screen() { return runCommand(tmux({"capture-pane", "-p"})).output; }

std::vector<std::string> Terminal::lines() { return rowsOf(screen()); }

std::vector<std::string> Terminal::history() {
  return rowsOf(runCommand(tmux({"capture-pane", "-p", "-S", "-"})).output);
}

bool Terminal::waitFor(const std::function<bool(const std::string&)>& holds,
                       std::chrono::milliseconds timeout, std::string* last) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    std::string now = screen();
    const bool held = holds(now);
    if (held || Clock::now() >= deadline) {
      if (last) *last = now;
      return held;
    }
    std::this_thread::sleep_for(50ms);
  }
}

bool Terminal::waitForText(const std::string& text, std::chrono::milliseconds timeout,
                           std::string* last) {
  return waitFor([&](const std::string& screen) { return screen.find(text) != std::string::npos; },
                 timeout, last);
}

bool Terminal::waitForLine(const std::string& pattern, std::chrono::milliseconds timeout) {
  const std::regex wanted(pattern);
  return waitFor(
      [&](const std::string& screen) {
        std::istringstream text(screen);
        for (std::string line; std::getline(text, line);) {
          line.erase(line.find_last_not_of(' ') + 1);
          if (std::regex_search(line, wanted)) return true;
        }
        return false;
      },
      timeout);
}

std::optional<int> Terminal::waitForExit(std::chrono::milliseconds timeout, std::string* last) {
  static const std::regex exitLine(R"(\[exit (\d+)\])");
  std::string text;
  const bool ended =
      waitFor([&](const std::string& screen) { return std::regex_search(screen, exitLine); },
              timeout, &text);
  if (last) *last = text;
  if (!ended) return std::nullopt;
  std::smatch match;
  std::regex_search(text, match, exitLine);
  return std::stoi(match[1]);
}

::testing::AssertionResult Terminal::terminalRestored() {
  if (!waitForExit(30s)) return ::testing::AssertionFailure() << "the program has not ended";
  const std::string before = withoutLineEnd(readFile(file("before")));
  const std::string tty =
      withoutLineEnd(runCommand(tmux({"display-message", "-p", "#{pane_tty}"})).output);
  const CommandResult after = runCommand({"stty", "-g", "-F", tty});
  if (before.empty() || after.status != 0 || withoutLineEnd(after.output) != before) {
    return ::testing::AssertionFailure()
           << "mode before " << before << " after " << withoutLineEnd(after.output);
  }
  return ::testing::AssertionSuccess();
}

std::optional<pid_t> Terminal::programPid() {
  const std::string shell = runCommand(tmux({"display-message", "-p", "#{pane_pid}"})).output;
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

void Terminal::kill() {
  if (running_) runCommand(tmux({"kill-server"}));
  running_ = false;
}

bool tmuxPresent() { return runCommand({"sh", "-c", "command -v tmux"}).status == 0; }

}  // namespace voren::test
