#include "platform/win32/posix/win32_port_claim.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/kcmp.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

DeviceIdentity identityOf(const struct stat& node) { return {node.st_rdev, node.st_dev}; }

// What the look compares the descriptors of a process with.
struct Sought {
  struct stat port {};
  std::string name;  // the port's node as /proc names it, read off our own descriptor
  std::optional<unsigned> pty;
  std::vector<int> handed;  // our other descriptors of it, handed down to us
};

// Reads the first bytes of file (relative to folder) into text; their count.
std::size_t readStart(int folder, const char* file, char* text, std::size_t size) {
  const int fd = openat(folder, file, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t got = read(fd, text, size - 1);
  ::close(fd);
  text[got > 0 ? got : 0] = '\0';
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

// Whether descriptor entry of process pid (folders under proc) is the master
// side of pseudo-terminal pty.
bool masterOf(int proc, const char* pid, const char* entry, unsigned pty) {
  char file[2 * sizeof(dirent::d_name) + 8];
  std::snprintf(file, sizeof file, "%s/fdinfo/%s", pid, entry);
  char text[512];
  if (readStart(proc, file, text, sizeof text) == 0) return false;
  const char* line = std::strstr(text, "tty-index:");
  return line != nullptr && std::strtoul(line + std::strlen("tty-index:"), nullptr, 10) == pty;
}

// The descriptors that process pid (its folder under proc) holds on the port;
// *master tells whether it holds the pseudo-terminal's master as well. Each
// descriptor costs one readlink: only a link that reads as the port's own
// node, or as the multiplexer, is looked at further. That asks no file system
// (a stat of a file on a network or user-space file system that stopped
// answering could wait for ever), and leaves alone the thousands of /dev/null
// a busy machine holds.
std::vector<int> descriptorsOf(int proc, const char* pid, const Sought& sought, bool* master) {
  char folder[sizeof(dirent::d_name) + 4];
  std::snprintf(folder, sizeof folder, "%s/fd", pid);
  const int descriptors = openat(proc, folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptors < 0) return {};  // gone, or not ours to look into
  std::vector<int> held;
  // getdents64 itself: a DIR would cost a stat of the folder, once for each
  // process on the machine.
  alignas(dirent64) char entries[8192];
  char link[PATH_MAX];
  for (;;) {
    const long size = syscall(SYS_getdents64, descriptors, entries, sizeof entries);
    if (size <= 0) break;
    for (long at = 0; at < size;) {
      const auto* entry = reinterpret_cast<const dirent64*>(entries + at);
      at += entry->d_reclen;
      const char* name = entry->d_name;
      if (name[0] == '.') continue;
      const ssize_t length = readlinkat(descriptors, name, link, sizeof link);
      if (length <= 0) continue;
      const std::string_view target(link, static_cast<std::size_t>(length));
      const bool multiplexer = sought.pty && (target == "/dev/ptmx" || target == "/dev/pts/ptmx");
      if (target != sought.name && !multiplexer) continue;
      struct stat node {};
      if (fstatat(descriptors, name, &node, 0) != 0 || !S_ISCHR(node.st_mode)) continue;
      if (node.st_rdev == sought.port.st_rdev &&
          (!sought.pty || node.st_dev == sought.port.st_dev)) {
        held.push_back(std::atoi(name));
      } else if (master != nullptr && node.st_rdev == kMultiplexer &&
                 masterOf(proc, pid, name, *sought.pty)) {
        *master = true;
      }
    }
  }
  ::close(descriptors);
  return held;
}

// The parent of process pid; 0 when unknown.
long parentOf(int proc, long pid) {
  char file[32];
  std::snprintf(file, sizeof file, "%ld/stat", pid);
  char text[1024];
  if (readStart(proc, file, text, sizeof text) == 0) return 0;
  // "PID (NAME) STATE PPID ...", where NAME may hold anything, ')' too.
  const char* named = std::strrchr(text, ')');
  if (named == nullptr || named[1] == '\0' || named[2] == '\0') return 0;
  return std::strtol(named + 3, nullptr, 10);
}

// Whether pid was started by this process, or by one it started (a port's
// keeper, forked while another port was opening, holds that one until it has
// closed what it does not keep).
bool descendant(int proc, long pid, long self) {
  constexpr int kDeepest = 64;
  for (int depth = 0; depth < kDeepest && pid > 1; ++depth) {
    pid = parentOf(proc, pid);
    if (pid == self) return true;
  }
  return false;
}

// Whether each descriptor theirs of process pid is the very open file of one
// of ours: the parent that handed the port down to us, or another child it
// handed it to. kcmp tells; where it is refused, they count as holders.
bool handedDown(long pid, const std::vector<int>& theirs, const std::vector<int>& ours) {
  const long self = getpid();
  return std::all_of(theirs.begin(), theirs.end(), [&](int their) {
    return std::any_of(ours.begin(), ours.end(), [&](int our) {
      return syscall(SYS_kcmp, self, pid, KCMP_FILE, our, their) == 0;
    });
  });
}

// Whether another program has the terminal open on fd, by the device's
// identity, whatever name it opened. Windows refuses a port that any program
// holds; the lock and the fence keep out only those that come after us, so an
// earlier opener that took neither (a terminal program, a getty, a modem
// prober, another run of ours whose terminal it is) is found here. Not
// counted: our own descendants, what was handed down to us with the port, and
// a process that holds the pseudo-terminal's master as well, its other end
// (a bridge such as socat keeps both). Processes this user may not look
// into, those of another PID namespace, and a system without /proc, go unseen.
bool openElsewhere(int fd) {
  Sought sought;
  // Every open of the multiplexer is a terminal of its own.
  if (fstat(fd, &sought.port) != 0 || !S_ISCHR(sought.port.st_mode) ||
      sought.port.st_rdev == kMultiplexer) {
    return false;
  }
  char own[32];
  std::snprintf(own, sizeof own, "/proc/self/fd/%d", fd);
  char link[PATH_MAX];
  const ssize_t size = readlink(own, link, sizeof link);
  if (size <= 0) return false;
  sought.name.assign(link, static_cast<std::size_t>(size));
  sought.pty = ptyNumber(sought.port.st_rdev);
  DIR* processes = opendir("/proc");
  if (processes == nullptr) return false;
  const int proc = dirfd(processes);
  for (const int held : descriptorsOf(proc, "self", sought, nullptr)) {
    if (held != fd) sought.handed.push_back(held);
  }
  const long self = getpid();
  bool found = false;
  while (const dirent* entry = found ? nullptr : readdir(processes)) {
    char* end = nullptr;
    const long pid = std::strtol(entry->d_name, &end, 10);
    if (*end != '\0' || pid <= 0 || pid == self) continue;
    bool master = false;
    const auto held = descriptorsOf(proc, entry->d_name, sought, &master);
    found = !held.empty() && !master && !descendant(proc, pid, self) &&
            !handedDown(pid, held, sought.handed);
  }
  closedir(processes);
  return found;
}

// The watch that the last probe for a port (a claim given back unused) left
// on its device: an inotify watch for opens, so that the open that follows
// need not look again.
struct LastLook {
  std::mutex mutex;
  int watch = -1;
  DeviceIdentity device;
};

LastLook& lastLook() {
  static LastLook look;
  return look;
}

// A watch for every open of the device open on fd; -1 when none can be had.
int watchOpens(int fd) {
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch < 0) return -1;
  char own[32];
  std::snprintf(own, sizeof own, "/proc/self/fd/%d", fd);
  if (inotify_add_watch(watch, own, IN_OPEN) < 0) {
    ::close(watch);
    return -1;
  }
  return watch;
}

void rememberLook(int watch, DeviceIdentity device) {
  LastLook& look = lastLook();
  std::lock_guard lock(look.mutex);
  if (look.watch >= 0) ::close(look.watch);
  look.watch = watch;
  look.device = device;
}

}  // namespace

std::optional<DeviceIdentity> PortClaim::unopenedSinceLook() {
  LastLook& look = lastLook();
  std::lock_guard lock(look.mutex);
  if (look.watch < 0) return std::nullopt;
  alignas(inotify_event) char events[sizeof(inotify_event) + NAME_MAX + 1];
  const bool quiet = read(look.watch, events, sizeof events) < 0 && errno == EAGAIN;
  ::close(look.watch);
  look.watch = -1;
  if (!quiet) return std::nullopt;
  return look.device;
}

PortClaim& PortClaim::operator=(PortClaim&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = std::exchange(other.fd_, -1);
    keeper_ = std::exchange(other.keeper_, -1);
    keeperLine_ = std::exchange(other.keeperLine_, -1);
    watch_ = std::exchange(other.watch_, -1);
    device_ = other.device_;
  }
  return *this;
}

int PortClaim::take(int fd, bool terminal, std::optional<DeviceIdentity> unopened) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno;
  if (!terminal) return 0;
  int fenced = 0;
  ioctl(fd, TIOCGEXCL, &fenced);
  if (!fenced) {
    startKeeper(fd);
    // Without a keeper the lock stands alone: a fence that could outlive the
    // process would keep out every user after it.
    if (keeper_ > 0) ioctl(fd, TIOCEXCL);
  }
  struct stat node {};
  fstat(fd, &node);
  const DeviceIdentity device = identityOf(node);
  const bool spared = unopened == device;
  // Fenced before the look, so that no opener comes in behind it, and
  // watched from before it, so that our next open can tell whether one came.
  const int watch = spared ? -1 : watchOpens(fd);
  if (!spared && openElsewhere(fd)) {
    if (watch >= 0) ::close(watch);
    release();
    return EBUSY;
  }
  // A fence found up over a port that nobody else holds was left by a claim
  // killed together with its keeper: ours now, to take down at our end.
  if (fenced) startKeeper(fd);
  watch_ = watch;
  device_ = device;
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

void PortClaim::release(bool probed) {
  if (watch_ >= 0) {
    if (probed) {
      rememberLook(watch_, device_);
    } else {
      ::close(watch_);
    }
    watch_ = -1;
  }
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
