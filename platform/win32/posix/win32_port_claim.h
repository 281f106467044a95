#pragma once
// The one-user claim on an open port, which ends with its holder however the
// holder ends, as a Windows port is free again when its process dies.
//
// flock keeps out every opener that takes it, root included, and goes with
// the last descriptor. TIOCEXCL keeps out the unprivileged openers that do not
// lock (a Windows program under Wine among them), but the kernel keeps it for
// as long as the terminal stays open anywhere: on a pseudo-terminal while its
// other side is open, on a UART or USB adapter while another program (or the
// system console) holds it. A killed holder would leave it set, and every
// later open by a user without CAP_SYS_ADMIN would fail with EBUSY. So a
// keeper process, which holds nothing but the port and the read end of a
// pipe from the holder, clears it when that pipe closes.
#include <sys/types.h>

#include <utility>

namespace voren::win32 {

class PortClaim {
 public:
  PortClaim() = default;
  PortClaim(PortClaim&& other) noexcept { *this = std::move(other); }
  PortClaim& operator=(PortClaim&& other) noexcept;
  ~PortClaim() { release(); }

  // Claims the port open on fd: 0, or the errno of the refusal (the lock of
  // another opener, in this process too; for a terminal, EBUSY when another
  // program has it open). A terminal is made exclusive as well, unless it
  // already was (then the flag is not ours to clear).
  int take(int fd, bool terminal);
  // Gives the port back: TIOCEXCL cleared when it was ours. The lock goes
  // when the caller closes fd.
  void release();

 private:
  void startKeeper(int fd);

  int fd_ = -1;
  pid_t keeper_ = -1;
  int keeperLine_ = -1;  // its closing, by release or by the process's end, ends the keeper
};

}  // namespace voren::win32
