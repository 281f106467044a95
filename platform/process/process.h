#pragma once
// Child processes of this program, watched over pipes: the parent's side
// (start, feed, read, wait, kill), the child's side (its standard input and
// output as raw bytes), and the operator's interrupt. One port per process
// is the design, so several printers at once are several processes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace voren {

// How a child ended: its exit status, or nothing when it did not exit by
// itself (a signal, a crash, killed by us).
struct ChildExit {
  std::optional<int> status;
};

class ChildProcess {
 public:
  // Starts program with arguments. Its standard input is a pipe this object
  // writes, its standard output and error one pipe this object reads; it
  // inherits nothing else of ours, and is kept out of the console's
  // interrupt (a process group of its own), which the parent handles.
  // Nothing, and *error, when it cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::string& program,
                                             const std::vector<std::string>& arguments,
                                             std::string* error);
  // Kills and reaps a child still running: none outlives its watcher.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Writes all of bytes to the child's input; false once it reads no more.
  bool writeInput(std::span<const std::uint8_t> bytes);
  // The child reads the end of its input.
  void closeInput();
  // Waits for output; the bytes read, 0 once every writer has gone. Only
  // one thread reads.
  std::size_t readOutput(std::span<char> buffer);
  // The child's end once it has ended; nothing while it runs. Never blocks.
  std::optional<ChildExit> exited();
  // Ends the child at once (no-op once it has ended).
  void kill();

 private:
  struct Handles;  // the platform's own
  explicit ChildProcess(std::unique_ptr<Handles> handles);
  std::unique_ptr<Handles> handles_;
  std::optional<ChildExit> exit_;
};

// This program's own executable, to start a copy of it: the very program
// this process runs, even when an upgrade has replaced its file meanwhile
// (on Linux the path it was started by while the running file keeps its
// name, also when started through the dynamic loader).
std::string ownProgramPath();

// The program as it was started, for a command a person runs again: the
// path it was started by, made absolute (after an upgrade, the new program
// there; never a file that has gone).
std::string startedProgramPath();

// One word of a command line as this system's shell reads it back: as it
// is when nothing in it needs quoting, else quoted (POSIX: for sh, in
// single quotes, valid UTF-8 for a JSON line: a byte that is no UTF-8 is
// printed by printf; Windows: in double quotes, as cmd.exe passes them on
// and the C runtime reads them). Every byte as it is, control bytes too.
std::string shellWord(std::string_view word);

// The same word for a screen, which shows printable ASCII alone, read back
// by the shell as the same bytes. POSIX: a word with any other byte in
// $'...' with octal escapes (bash, zsh, ksh, busybox sh; not dash, so a
// script keeps shellWord). Windows: as shellWord, since cmd.exe has no escape
// for a byte; no file name there holds a control byte, and the ports are
// COM names.
std::string shownShellWord(std::string_view word);

// The child's side. Standard input and output as the parent's pipes, byte
// for byte: no text mode, no buffering. A write to a parent that has gone
// fails instead of ending the process.
void useParentPipes();
// Bytes read; 0 at the end of the input (the parent closed it or is gone).
std::size_t readFromParent(std::span<std::uint8_t> buffer);
// One write of all of text; false when the parent is gone.
bool writeToParent(std::string_view text);

// Ctrl-C (SIGINT; on Windows the console's Ctrl-C and Ctrl-Break) sets a
// flag instead of ending the process. Call after the console is set up:
// this replaces its handler, and the console's mode comes back at exit.
void catchInterrupt();
bool interrupted();

}  // namespace voren
