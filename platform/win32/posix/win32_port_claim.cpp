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
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
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

// Whether the kernel keeps the terminal of rdev, and its exclusive flag, past
// the last close of rdev: a pseudo-terminal's side lives for as long as its
// other side is open. The legacy ones are majors 2 (masters) and 3 (slaves).
bool outlivesItsOpeners(dev_t rdev) {
  constexpr unsigned kLegacyMasters = 2, kLegacySlaves = 3;
  return ptyNumber(rdev) || rdev == kMultiplexer || major(rdev) == kLegacyMasters ||
         major(rdev) == kLegacySlaves;
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
// counted: what was handed down to us with the port, and a process that
// holds the pseudo-terminal's master as well, its other end (a bridge such as
// socat keeps both). Processes this user may not look into, those of another
// PID namespace, and a system without /proc, go unseen.
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
    found = !held.empty() && !master && !handedDown(pid, held, sought.handed);
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
    fenced_ = std::exchange(other.fenced_, -1);
    watch_ = std::exchange(other.watch_, -1);
    device_ = other.device_;
  }
  return *this;
}

int PortClaim::take(int fd, bool terminal, std::optional<DeviceIdentity> unopened) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return errno;
  if (!terminal) return 0;
  struct stat node {};
  fstat(fd, &node);
  // Fenced before the look, so that no opener comes in behind it. A flag
  // already up is another opener's (CAP_SYS_ADMIN passes it): left as it is.
  int up = 0;
  if (!outlivesItsOpeners(node.st_rdev) && ioctl(fd, TIOCGEXCL, &up) == 0 && !up &&
      ioctl(fd, TIOCEXCL) == 0) {
    fenced_ = fd;
  }
  const DeviceIdentity device = identityOf(node);
  const bool spared = unopened == device;
  // Watched from before the look, so that our next open can tell whether an
  // opener came after it.
  const int watch = spared ? -1 : watchOpens(fd);
  if (!spared && openElsewhere(fd)) {
    if (watch >= 0) ::close(watch);
    release();
    return EBUSY;
  }
  watch_ = watch;
  device_ = device;
  return 0;
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
  if (fenced_ >= 0) ioctl(fenced_, TIOCNXCL);
  fenced_ = -1;
}

}  // namespace voren::win32
