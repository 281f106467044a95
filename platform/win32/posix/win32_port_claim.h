#pragma once
// The one-user claim on an open port, which ends with its holder however the
// holder ends, as a Windows port is free again when its process dies.
//
// The claim is the lock and the look: flock keeps out every opener that takes
// it, root included, and goes with the last descriptor; the look through
// /proc finds a live process that has the terminal open without locking.
// Both die with their holder. TIOCEXCL is only a fence on top, for openers
// that neither lock nor show in the look (a Windows program under Wine among
// them). The kernel keeps that flag for as long as the terminal stays open
// anywhere: measured on a pseudo-terminal, it stays set after the last
// opener of the slave has closed it, while the master is open (a user's open
// gets EBUSY); a UART's terminal, by the kernel's code, goes with its last
// close and the flag with it, unless a console holds it. So a keeper
// process, which holds nothing but the port and the read end of a pipe from
// the holder, takes the fence down when that pipe closes. A kill of holder and
// keeper together (kill -9 -1, a cgroup's kill) leaves it up; the next claim
// that gets in (CAP_SYS_ADMIN passes the fence) and finds the port otherwise
// free takes it as its own, to take down at its end. An opener without
// CAP_SYS_ADMIN is kept out by such a left fence until then, or until the
// pseudo-terminal's other end closes.
#include <sys/types.h>

#include <optional>
#include <utility>

namespace voren::win32 {

// A device by what the kernel knows it by: its number and the file system of
// its node (each pseudo-terminal file system numbers its own from 0).
struct DeviceIdentity {
  dev_t device = 0;
  dev_t node = 0;
  bool operator==(const DeviceIdentity&) const = default;
};

class PortClaim {
 public:
  PortClaim() = default;
  PortClaim(PortClaim&& other) noexcept { *this = std::move(other); }
  PortClaim& operator=(PortClaim&& other) noexcept;
  ~PortClaim() { release(); }

  // Called just before the port is opened: the device this process last
  // probed for and found free, when nobody has opened it since (the probe's
  // look leaves an inotify watch on it). Our own open would be seen too, so it is
  // asked first; an opener in the instant between the two goes unseen.
  static std::optional<DeviceIdentity> unopenedSinceLook();

  // Claims the port open on fd: 0, or the errno of the refusal (the lock of
  // another opener, in this process too; for a terminal, EBUSY when another
  // program has it open). A terminal is fenced with TIOCEXCL as well. The
  // look is spared when unopened names this device.
  int take(int fd, bool terminal, std::optional<DeviceIdentity> unopened = std::nullopt);
  // Gives the port back: the fence taken down when it was ours. The lock
  // goes when the caller closes fd. A port only probed for (opened and given
  // back unused) leaves its look's watch to the open that follows.
  void release(bool probed = false);

 private:
  void startKeeper(int fd);

  int fd_ = -1;
  pid_t keeper_ = -1;
  int keeperLine_ = -1;  // its closing, by release or by the process's end, ends the keeper
  int watch_ = -1;       // inotify: opens of the device since our look
  DeviceIdentity device_;
};

}  // namespace voren::win32
