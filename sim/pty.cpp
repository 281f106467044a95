#include "sim/pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace voren::sim {

std::optional<Pty> Pty::open(std::string* error) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    if (master >= 0) ::close(master);
    return std::nullopt;
  };
  if (master < 0) return fail("posix_openpt");
  if (grantpt(master) != 0) return fail("grantpt");
  if (unlockpt(master) != 0) return fail("unlockpt");
  const char* name = ptsname(master);
  if (name == nullptr) return fail("ptsname");

  // Raw both ways, and no software flow control: the font holds 0x11 and
  // 0x13, which must pass untouched. The opener sets its own mode as well;
  // this is the state it finds.
  termios mode{};
  if (tcgetattr(master, &mode) != 0) return fail("tcgetattr");
  cfmakeraw(&mode);
  mode.c_iflag &= ~(IXON | IXOFF | IXANY);
  mode.c_cflag |= CLOCAL | CREAD;
  cfsetispeed(&mode, B38400);
  cfsetospeed(&mode, B38400);
  if (tcsetattr(master, TCSANOW, &mode) != 0) return fail("tcsetattr");
  int flags = fcntl(master, F_GETFL);
  if (flags < 0 || fcntl(master, F_SETFL, flags | O_NONBLOCK) != 0) return fail("fcntl");
  return Pty(master, name);
}

Pty::Pty(Pty&& other) noexcept : master_(other.master_), path_(std::move(other.path_)) {
  other.master_ = -1;
}

Pty::~Pty() { hangUp(); }

void Pty::hangUp() {
  if (master_ >= 0) ::close(master_);
  master_ = -1;
}

}  // namespace voren::sim
