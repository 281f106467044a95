#pragma once
// Child processes for the end-to-end tests: a command run to its end, the
// simulated printer kept running beside the program under test, and what a
// process holds open.
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"  // makeTempDir

namespace voren::test {

struct CommandResult {
  int status = -1;     // exit status, or -1 when it did not end in time or was killed
  std::string output;  // stdout and stderr together
};

// Runs argv to its end (killed after timeout).
CommandResult runCommand(const std::vector<std::string>& argv,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

std::string readFile(const std::string& path);

// Open file descriptors of a process that point at path.
int descriptorsOpenOn(pid_t pid, const std::string& path);

// The processes whose parent is pid, now.
std::vector<pid_t> childrenOf(pid_t pid);
bool processGone(pid_t pid);

// The words that run a command as a user would: without CAP_SYS_ADMIN, which
// passes a terminal's exclusive flag. None when not root; nullopt when root
// cannot drop it here (no setpriv).
std::optional<std::vector<std::string>> asUserWithoutSysAdmin();

// The program copied into dir, which everyone may then pass through (not
// list): the build tree of a checkout in a home folder of mode 700 is out of
// reach of the user a test runs the program as.
std::string programForAnyUser(const std::string& program, const std::string& dir);

// Keeps this process, and every process it starts from then on, on the CPU
// it runs on (nothing to do where one CPU is allowed).
void keepOnOneCpu();

// voren-sim running beside the test; stopped (SIGTERM, then SIGKILL) when
// destroyed, so no test leaves one behind.
class SimulatedPrinterProcess {
 public:
  SimulatedPrinterProcess() = default;
  SimulatedPrinterProcess(const SimulatedPrinterProcess&) = delete;
  SimulatedPrinterProcess& operator=(const SimulatedPrinterProcess&) = delete;
  ~SimulatedPrinterProcess() { stop(); }

  // Starts the simulator with arguments, its stderr going to logPath; waits
  // for the pty path it prints. False (and *error) when it does not come.
  // It keeps a command open through 10 s of quiet, not 2 (an argument may
  // say otherwise): a busy host may stop a test's updater for seconds, and
  // what these tests check is the updater's side of the protocol.
  bool start(const std::string& program, const std::vector<std::string>& arguments,
             const std::string& logPath, std::string* error);
  const std::string& ptyPath() const { return ptyPath_; }
  // True once it has ended by itself within the time given.
  bool waitForExit(std::chrono::milliseconds timeout);
  void stop();
  // Everything it reported so far.
  std::string log() const { return readFile(logPath_); }
  // True once its report holds text, within the time given: it reports a
  // line closed only when it next reads it, which on a busy host comes a
  // while after the peer's end.
  bool waitForLog(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  pid_t pid_ = -1;
  std::string ptyPath_;
  std::string logPath_;
};

}  // namespace voren::test
