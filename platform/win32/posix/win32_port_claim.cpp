#include "platform/win32/posix/win32_port_claim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

namespace voren::win32 {
namespace {

// The keeper's own descriptors are the port and its line; holding any other
// (a pipe to a station, another port) would keep it open past its time.
void closeAllBut(int a, int b) {
  const unsigned low = static_cast<unsigned>(a < b ? a : b);
  const unsigned high = static_cast<unsigned>(a < b ? b : a);
  if (low > 0) close_range(0, low - 1, 0);
  if (high > low + 1) close_range(low + 1, high - 1, 0);
  close_range(high + 1, ~0U, 0);
}

// Runs in the forked keeper. The holder has other threads, so only
// async-signal-safe calls from here on.
[[noreturn]] void keep(int port, int line) {
  // Its own session: the terminal's Ctrl-C and hang-up, and a kill of the
  // holder's process group, leave it to do its work.
  sigset_t all;
  sigfillset(&all);
  sigprocmask(SIG_SETMASK, &all, nullptr);
  setsid();
  closeAllBut(port, line);
  char byte = 0;
  while (read(line, &byte, 1) < 0 && errno == EINTR) {
  }
  ioctl(port, TIOCNXCL);
  _exit(0);
}

}  // namespace

PortClaim& PortClaim::operator=(PortClaim&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    keeper_ = std::exchange(other.keeper_, -1);
    keeperLine_ = std::exchange(other.keeperLine_, -1);
  }
  return *this;
}

int PortClaim::take(int fd, bool terminal) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno;
  if (!terminal) return 0;
  int exclusive = 0;
  ioctl(fd, TIOCGEXCL, &exclusive);
  if (exclusive) return 0;
  startKeeper(fd);
  // Without a keeper the lock stands alone: a flag that could outlive the
  // process would lock out every user after it.
  if (keeper_ > 0) ioctl(fd, TIOCEXCL);
  return 0;
}

void PortClaim::startKeeper(int fd) {
  int line[2];
  if (pipe2(line, O_CLOEXEC) != 0) return;
  const pid_t pid = fork();
  if (pid == 0) keep(fd, line[0]);
  ::close(line[0]);
  if (pid < 0) {
    ::close(line[1]);
    return;
  }
  fd_ = fd;
  keeper_ = pid;
  keeperLine_ = line[1];
}

void PortClaim::release() {
  if (keeper_ < 0) return;
  ::close(keeperLine_);
  int status = 0;
  pid_t ended = 0;
  do {
    ended = waitpid(keeper_, &status, 0);
  } while (ended < 0 && errno == EINTR);
  // A keeper killed before its time left the flag: the port is still ours.
  if (ended != keeper_ || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    ioctl(fd_, TIOCNXCL);
  }
  fd_ = keeper_ = keeperLine_ = -1;
}

}  // namespace voren::win32
