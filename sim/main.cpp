// voren-sim: a simulated VOREN printer on a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/options.h"
#include "sim/pty.h"
#include "sim/session.h"

namespace {

int stopPipe[2] = {-1, -1};

void onStopSignal(int) {
  int saved = errno;
  char byte = 1;
  [[maybe_unused]] auto written = ::write(stopPipe[1], &byte, 1);
  errno = saved;
}

void report(const std::string& text) { std::fprintf(stderr, "voren-sim: %s\n", text.c_str()); }

// Replaces a symlink (or nothing) at path; never a regular file.
bool makeLink(const std::string& target, const std::string& path) {
  struct stat existing {};
  if (lstat(path.c_str(), &existing) == 0) {
    if (!S_ISLNK(existing.st_mode)) {
      report(path + " exists and is not a symlink; not replacing it");
      return false;
    }
    ::unlink(path.c_str());
  }
  if (::symlink(target.c_str(), path.c_str()) != 0) {
    report("symlink " + path + ": " + std::strerror(errno));
    return false;
  }
  return true;
}

void removeLink(const std::string& target, const std::string& path) {
  char pointsTo[4096];
  ssize_t length = ::readlink(path.c_str(), pointsTo, sizeof pointsTo - 1);
  if (length > 0 && std::string(pointsTo, static_cast<std::size_t>(length)) == target) {
    ::unlink(path.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  auto parsed = voren::sim::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    bool help = parsed.message.rfind("usage:", 0) == 0;
    std::fputs(parsed.message.c_str(), help ? stdout : stderr);
    if (!help) std::fputs("\n", stderr);
    return help ? 0 : 2;
  }
  std::string error;
  auto pty = voren::sim::Pty::open(&error);
  if (!pty) {
    report(error);
    return 1;
  }
  if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    report(std::string("pipe: ") + std::strerror(errno));
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::string link = parsed.options->link;
  if (!link.empty() && !makeLink(pty->path(), link)) return 1;
  std::printf("%s\n", pty->path().c_str());
  std::fflush(stdout);

  int status = voren::sim::runSession(std::move(*parsed.options), *pty, stopPipe[0], report);
  if (!link.empty()) removeLink(pty->path(), link);
  return status;
}
