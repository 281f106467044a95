#pragma once
// The one-user claim on an open port, which ends with its holder however the
// holder ends, as a Windows port is free again when its process dies.
//
// The claim is the lock and the look: flock keeps out every opener that takes
// it, root included, and goes with the last descriptor; the look through
// /proc finds a live process that has the terminal open without locking.
// Both die with their holder. A terminal whose kernel state goes with its
// last close (a UART, a USB adapter) is fenced with TIOCEXCL as well, for
// openers that neither lock nor show in the look (a Windows program under
// Wine among them): the flag lives in that state, so it goes with the
// holder's descriptors however the holder ends (unless a process holds the
// terminal as /dev/console, which the look does not see). A pseudo-terminal
// is not fenced: its slave's state lives as long as its master is open, and
// the flag with it, past every opener of the slave; an opener that neither
// locks nor looks gets in beside its holder there.
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
  // program has it open). A terminal other than a pseudo-terminal is fenced
  // with TIOCEXCL as well. The look is spared when unopened names this device.
  int take(int fd, bool terminal, std::optional<DeviceIdentity> unopened = std::nullopt);
  // Gives the port back: the fence taken down when it was ours, for the
  // descriptors of it that stay open elsewhere (one handed down to us). The
  // lock goes when the caller closes fd. A port only probed for (opened and
  // given back unused) leaves its look's watch to the open that follows.
  void release(bool probed = false);

 private:
  int fenced_ = -1;  // the descriptor we set TIOCEXCL on
  int watch_ = -1;   // inotify: opens of the device since our look
  DeviceIdentity device_;
};

}  // namespace voren::win32
