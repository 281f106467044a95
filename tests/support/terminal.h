#pragma once
// A program run in a real terminal: a tmux server of the test's own, one
// window, keys typed in and the screen read back. The program runs under a
// small wrapper that snapshots the terminal's mode (`stty -g`) before it,
// writes a line for a clear to wipe away, and prints "[exit N]" once it has
// ended; the mode after is read from outside, so a test may first wait for
// whatever still holds the terminal (Wine's console host).
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace voren::test {

class Terminal {
 public:
  Terminal();
  ~Terminal();
  Terminal(const Terminal&) = delete;
  Terminal& operator=(const Terminal&) = delete;

  // Runs argv in a new terminal of columns x rows with extra environment.
  bool start(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
             std::string* error, int columns = 100, int rows = 40);
  // Types text literally, or presses a named key ("Enter", "Escape", "C-c").
  void type(const std::string& text);
  void press(const std::string& key);
  // Key names and text in one go, as a fast typist's keys arrive together.
  void send(const std::vector<std::string>& keys);
  // Sends bytes as they are, whatever the terminal's character set makes of them.
  void sendBytes(const std::string& bytes);
  // Gives the window a new size, as an operator dragging its edge does.
  void resize(int columns, int rows);
  // The visible screen, one line per row, trailing blanks cut.
  std::string screen();
  std::vector<std::string> lines();
  // The scroll-back and the screen, one line per row, trailing blanks cut.
  std::vector<std::string> history();
  // Polls the screen until the predicate holds; the last screen either way.
  bool waitFor(const std::function<bool(const std::string&)>& holds,
               std::chrono::milliseconds timeout, std::string* last = nullptr);
  bool waitForText(const std::string& text, std::chrono::milliseconds timeout,
                   std::string* last = nullptr);
  // Polls until a line matches the regular expression.
  bool waitForLine(const std::string& pattern,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The program's exit status once it has ended (read off the wrapper's line).
  std::optional<int> waitForExit(std::chrono::milliseconds timeout, std::string* last = nullptr);
  // After the program: the terminal's mode equals, byte for byte, the mode
  // it had before.
  ::testing::AssertionResult terminalRestored();
  // The pid of the program itself.
  std::optional<pid_t> programPid();
  // A path in the terminal's own folder, removed with it.
  std::string file(const std::string& name) const { return directory_ + "/" + name; }
  void kill();

 private:
  std::vector<std::string> tmux(std::vector<std::string> arguments) const;

  std::string directory_;
  std::string socket_;
  bool running_ = false;
};

bool tmuxPresent();

}  // namespace voren::test
