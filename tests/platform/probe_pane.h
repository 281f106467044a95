#pragma once
// A tmux pane of the test's own for driving the console probe in a real
// terminal: keys in with send-keys, the screen back with capture-pane, and
// the terminal's mode snapshotted before and after the probe.
#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace voren::probe {

std::string readFile(const std::string& path);

// A scratch folder, removed with everything in it.
class Scratch {
 public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a script that runs command between two snapshots of the terminal's
// mode (`stty -g`), after a line for the probe's clear to wipe away; prints "status=N" when it
// ends, runs settle (a command that waits for whatever still holds the terminal) and prints
// "snapshots" once the second snapshot is taken. A trap keeps the shell alive when Ctrl-C ends the
// command.
std::string snapshotScript(const Scratch& scratch, const std::string& command,
                           const std::string& settle = "");

// One pane, 100 by 30, of a tmux server of our own, running a script.
class Pane {
 public:
  explicit Pane(const std::string& script);
  ~Pane();
  Pane(const Pane&) = delete;
  Pane& operator=(const Pane&) = delete;

  // send-keys arguments, e.g. "12 Enter" or "C-c".
  void send(const std::string& keys);
  // The screen, one string a row, trailing blanks cut.
  std::vector<std::string> lines();
  // Polls the screen until a line matches the regular expression.
  bool waitFor(const std::string& pattern,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));
  // The command the script runs: the one child of the pane's shell.
  pid_t commandPid();

 private:
  Scratch socketFolder_;  // the server's socket, gone with the pane
  std::string tmux_;
};

// Waits for the second snapshot and tells whether it equals the first.
::testing::AssertionResult terminalRestored(Pane& pane, const Scratch& scratch);

bool tmuxPresent();

}  // namespace voren::probe
