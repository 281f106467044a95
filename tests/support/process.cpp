#include "tests/support/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/process/cpu_placement.h"

namespace voren::test {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void execOrDie(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  execvp(args[0], args.data());
  std::fprintf(stderr, "exec %s: %s\n", args[0], std::strerror(errno));
  _exit(127);
}

// Waits for pid until the deadline; the exit status, or nullopt.
std::optional<int> waitUntil(pid_t pid, Clock::time_point deadline) {
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 || Clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void killAndReap(pid_t pid) {
  kill(pid, SIGTERM);
  if (!waitUntil(pid, Clock::now() + std::chrono::seconds(3))) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    execOrDie(argv);
  }
  close(out[1]);
  CommandResult result;
  auto deadline = Clock::now() + timeout;
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd fd = {out[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) break;
    ssize_t count = read(out[0], buffer, sizeof buffer);
    if (count <= 0) break;
    result.output.append(buffer, static_cast<std::size_t>(count));
  }
  close(out[0]);
  auto status = waitUntil(pid, deadline);
  if (!status) {
    killAndReap(pid);
    return result;
  }
  result.status = *status;
  return result;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void keepOnOneCpu() {
  if (const auto cpu = cpuToStartOn(allowedCpus(), currentCpu(), std::nullopt)) {
    const Cpu one[] = {*cpu};
    keepThreadsOn(one);
  }
}

bool SimulatedPrinterProcess::start(const std::string& program,
                                    const std::vector<std::string>& arguments,
                                    const std::string& logPath, std::string* error) {
  logPath_ = logPath;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return false;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(log, STDERR_FILENO);
    std::vector<std::string> argv{program, "--frame-gap", "10000"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    execOrDie(argv);
  }
  close(out[1]);
  std::string line;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (line.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd fd = {out[0], POLLIN, 0};
    if (poll(&fd, 1, 100) <= 0) continue;
    char buffer[256];
    ssize_t count = read(out[0], buffer, sizeof buffer);
    if (count <= 0) break;
    line.append(buffer, static_cast<std::size_t>(count));
  }
  close(out[0]);
  if (line.find('\n') == std::string::npos) {
    if (error) *error = "voren-sim printed no pty path; its log: " + log();
    stop();
    return false;
  }
  ptyPath_ = line.substr(0, line.find('\n'));
  return true;
}

bool SimulatedPrinterProcess::waitForExit(std::chrono::milliseconds timeout) {
  if (pid_ < 0) return true;
  if (!waitUntil(pid_, Clock::now() + timeout)) return false;
  pid_ = -1;
  return true;
}

bool SimulatedPrinterProcess::waitForLog(const std::string& text,
                                         std::chrono::milliseconds timeout) const {
  const auto deadline = Clock::now() + timeout;
  while (log().find(text) == std::string::npos) {
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void SimulatedPrinterProcess::stop() {
  if (pid_ < 0) return;
  killAndReap(pid_);
  pid_ = -1;
}

int descriptorsOpenOn(pid_t pid, const std::string& path) {
  const std::string directory = "/proc/" + std::to_string(pid) + "/fd";
  DIR* fds = opendir(directory.c_str());
  if (!fds) return 0;
  int count = 0;
  while (dirent* entry = readdir(fds)) {
    char target[4096];
    const std::string link = directory + "/" + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == path) ++count;
  }
  closedir(fds);
  return count;
}

std::vector<pid_t> childrenOf(pid_t pid) {
  std::vector<pid_t> children;
  DIR* processes = opendir("/proc");
  if (!processes) return children;
  while (dirent* entry = readdir(processes)) {
    const pid_t candidate = std::atoi(entry->d_name);
    if (candidate <= 0) continue;
    // "pid (name) state ppid ...": the name may hold blanks, so read after its ')'.
    const std::string stat = readFile("/proc/" + std::to_string(candidate) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) continue;
    int parent = 0;
    char state = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &parent) == 2 && parent == pid) {
      children.push_back(candidate);
    }
  }
  closedir(processes);
  return children;
}

bool processGone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

std::optional<std::vector<std::string>> asUserWithoutSysAdmin() {
  if (geteuid() != 0) return std::vector<std::string>{};
  if (access("/usr/bin/setpriv", X_OK) != 0) return std::nullopt;
  return std::vector<std::string>{"/usr/bin/setpriv", "--inh-caps=-sys_admin",
                                  "--bounding-set=-sys_admin"};
}

std::string programForAnyUser(const std::string& program, const std::string& dir) {
  namespace fs = std::filesystem;
  using fs::perms;
  fs::permissions(dir, perms::owner_all | perms::group_exec | perms::others_exec);
  const fs::path copy = fs::path(dir) / fs::path(program).filename();
  fs::copy_file(program, copy, fs::copy_options::overwrite_existing);
  fs::permissions(copy, perms::owner_all | perms::group_read | perms::group_exec |
                            perms::others_read | perms::others_exec);
  return copy.string();
}

}  // namespace voren::test
