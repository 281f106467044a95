#pragma once
// A program run in a real terminal: a tmux server of the test's own, one
// window, keys typed in and the screen read back. The command runs under a
// small shell wrapper that, once the program ends, prints its exit status
// and whether the terminal is back in its cooked mode, so a test can read
// both off the screen.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace voren::itest {

class TerminalSession {
 public:
  TerminalSession() = default;
  TerminalSession(const TerminalSession&) = delete;
  TerminalSession& operator=(const TerminalSession&) = delete;
  ~TerminalSession() { kill(); }

  // Runs argv in a new terminal of columns x rows with extra environment.
  bool start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             std::string* error, int columns = 100, int rows = 40);
  // Types text literally, or presses a named key ("Enter", "Escape").
  void type(const std::string& text);
  void press(const std::string& key);
  // Sends bytes as they are, whatever the terminal's character set makes of them.
  void sendBytes(const std::string& bytes);
  // Gives the window a new size, as an operator dragging its edge does.
  void resize(int columns, int rows);
  // The visible screen, one line per row, trailing blanks cut.
  std::string screen();
  // Polls the screen until the predicate holds; the last screen either way.
  bool waitFor(const std::function<bool(const std::string&)>& holds,
               std::chrono::milliseconds timeout, std::string* last = nullptr);
  bool waitForText(const std::string& text, std::chrono::milliseconds timeout,
                   std::string* last = nullptr);
  // The program's exit status once it has ended (read off the wrapper's line).
  std::optional<int> waitForExit(std::chrono::milliseconds timeout, std::string* last = nullptr);
  // Whether the terminal was in cooked mode (icanon and echo) after the program.
  bool terminalRestored();
  // The pid of the program itself.
  std::optional<pid_t> programPid();
  void kill();

 private:
  std::vector<std::string> tmux(std::vector<std::string> arguments) const;

  std::string socket_;
  std::string directory_;
  bool running_ = false;
};

// Open file descriptors of a process that point at path.
int descriptorsOpenOn(pid_t pid, const std::string& path);

}  // namespace voren::itest
