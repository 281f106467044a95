#include "platform/win32/posix/win32_port_claim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

// Linux's device numbers: pseudo-terminal slaves on majors 136 to 143, and
// the multiplexer that makes a new pseudo-terminal at each open, 5:2.
const dev_t kMultiplexer = makedev(5, 2);

// The pseudo-terminal's number when rdev is the slave side of one.
std::optional<unsigned> ptyNumber(dev_t rdev) {
  constexpr unsigned kFirstSlaveMajor = 136, kLastSlaveMajor = 143;
  const unsigned group = major(rdev);
  if (group < kFirstSlaveMajor || group > kLastSlaveMajor) return std::nullopt;
  return (group - kFirstSlaveMajor) * 256 + minor(rdev);
}

// Whether descriptor name of the process in folder (/proc/PID) is the master
// side of pseudo-terminal pty.
bool masterOf(const std::string& folder, const char* name, unsigned pty) {
  const int file = ::open((folder + "/fdinfo/" + name).c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  char text[512];
  const ssize_t size = read(file, text, sizeof text - 1);
  ::close(file);
  if (size <= 0) return false;
  text[size] = '\0';
  const char* line = std::strstr(text, "tty-index:");
  return line != nullptr && std::strtoul(line + std::strlen("tty-index:"), nullptr, 10) == pty;
}

// Whether the process in folder (/proc/PID) uses the terminal port. Each
// pseudo-terminal file system numbers its terminals from 0, so one of those
// is told by its file system too; and a process that holds its master as
// well is its other end (a bridge such as socat keeps both), not a user.
bool uses(const std::string& folder, const struct stat& port) {
  DIR* descriptors = opendir((folder + "/fd").c_str());
  if (descriptors == nullptr) return false;  // gone, or not ours to look into
  const auto pty = ptyNumber(port.st_rdev);
  bool used = false;
  bool master = false;
  while (const dirent* entry = readdir(descriptors)) {
    // Only device files are looked at, known by their path, which asks no
    // file system: a stat of a file on a network or user-space file system
    // that stopped answering could wait for ever.
    char path[5];
    if (readlinkat(dirfd(descriptors), entry->d_name, path, sizeof path) != sizeof path ||
        std::memcmp(path, "/dev/", sizeof path) != 0) {
      continue;
    }
    struct stat held {};
    if (fstatat(dirfd(descriptors), entry->d_name, &held, 0) != 0 || !S_ISCHR(held.st_mode)) {
      continue;
    }
    if (held.st_rdev == port.st_rdev && (!pty || held.st_dev == port.st_dev)) used = true;
    if (pty && held.st_rdev == kMultiplexer && masterOf(folder, entry->d_name, *pty)) {
      master = true;
    }
  }
  closedir(descriptors);
  return used && !master;
}

// Whether the process in folder (/proc/PID) runs this same program file.
bool sameProgram(const std::string& folder, const struct stat& ours) {
  struct stat theirs {};
  return stat((folder + "/exe").c_str(), &theirs) == 0 && theirs.st_dev == ours.st_dev &&
         theirs.st_ino == ours.st_ino;
}

// Whether another process has the terminal open on fd, by the device's
// identity, whatever name it opened. Windows refuses a port that any program
// holds; the lock and the exclusive flag keep out only those that come after
// us, so an earlier opener that took neither (a terminal program, a getty, a
// modem prober) is found here. Copies of this program are no other program:
// one that uses the port holds its lock, which refused us already, and others
// only hold it by chance (a port's keeper forked while another port opened,
// the station and its copies that inherited a descriptor of it, as the run
// itself may). Processes this user may not look into, and a system without
// /proc, go unseen.
bool openElsewhere(int fd) {
  struct stat port {};
  // Every open of the multiplexer is a terminal of its own.
  if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode) || port.st_rdev == kMultiplexer) {
    return false;
  }
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return false;
  const long self = getpid();
  struct stat program {};
  const bool known = stat("/proc/self/exe", &program) == 0;
  bool found = false;
  while (const dirent* entry = readdir(processes)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == self) continue;
    const std::string folder = std::string("/proc/") + entry->d_name;
    if (uses(folder, port) && !(known && sameProgram(folder, program))) {
      found = true;
      break;
    }
  }
  closedir(processes);
  return found;
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
  if (!exclusive) {
    startKeeper(fd);
    // Without a keeper the lock stands alone: a flag that could outlive the
    // process would lock out every user after it.
    if (keeper_ > 0) ioctl(fd, TIOCEXCL);
  }
  // Exclusive before the look, so that no opener comes in behind it.
  if (openElsewhere(fd)) {
    release();
    return EBUSY;
  }
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
