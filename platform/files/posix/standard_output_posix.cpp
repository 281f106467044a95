// Standard output on POSIX: write(2) on descriptor 1, waited for when the
// descriptor we were given does not block (a writer that cannot wait has not
// failed yet).
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/files/standard_output.h"

namespace voren {

namespace {

std::string& failure() {
  static std::string reason;
  return reason;
}

void fail(int error) {
  std::string reason = std::strerror(error);
  if (!reason.empty()) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  failure() = "not written completely: " + reason;
}

}  // namespace

void keepRunningWhenReadersClose() { signal(SIGPIPE, SIG_IGN); }

bool writeStandardOutput(std::string_view text) {
  if (!failure().empty()) return false;
  while (!text.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd fd{STDOUT_FILENO, POLLOUT, 0};
      if (poll(&fd, 1, -1) >= 0 || errno == EINTR) continue;
    }
    fail(n < 0 ? errno : EIO);
    return false;
  }
  return true;
}

const std::string& standardOutputFailure() { return failure(); }

std::string_view lineEnd() { return "\n"; }

}  // namespace voren
