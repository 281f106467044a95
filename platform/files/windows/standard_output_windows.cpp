// Standard output on Windows: the console API when it is a console, file
// writes when it is redirected (a pipe whose reader has gone fails with
// ERROR_NO_DATA, a full disk with ERROR_DISK_FULL).
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/files/standard_output.h"

namespace voren {

namespace {

struct StandardOutput {
  HANDLE handle = GetStdHandle(STD_OUTPUT_HANDLE);
  bool isConsole = [this] {
    DWORD mode = 0;
    return GetConsoleMode(handle, &mode) != 0;
  }();
  std::string failure;
};

StandardOutput& output() {
  static StandardOutput instance;
  return instance;
}

// In the words the C runtime gives for the same failures on POSIX.
std::string writeFailureOf(DWORD error) {
  int number = 0;
  switch (error) {
    case ERROR_NO_DATA:
    case ERROR_BROKEN_PIPE:
    case ERROR_PIPE_NOT_CONNECTED:  // Wine's word for the same
      number = EPIPE;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      number = ENOSPC;
      break;
    case ERROR_INVALID_HANDLE:  // open for reading only, or no handle at all
      number = EBADF;
      break;
    case ERROR_ACCESS_DENIED:
      number = EACCES;
      break;
    default:
      return "system error " + std::to_string(error);
  }
  std::string reason = std::strerror(number);
  if (!reason.empty()) {
    reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
  }
  return reason;
}

}  // namespace

// Windows has no signal for a closed pipe: the write fails.
void keepRunningWhenReadersClose() {}

bool writeStandardOutput(std::string_view text) {
  StandardOutput& out = output();
  if (!out.failure.empty()) return false;
  while (!text.empty()) {
    DWORD written = 0;
    const auto size = static_cast<DWORD>(text.size());
    const BOOL ok = out.isConsole ? WriteConsoleA(out.handle, text.data(), size, &written, nullptr)
                                  : WriteFile(out.handle, text.data(), size, &written, nullptr);
    if (!ok || written == 0) {
      out.failure = "not written completely: " + writeFailureOf(ok ? ERROR_WRITE_FAULT : GetLastError());
      return false;
    }
    text.remove_prefix(written);
  }
  return true;
}

const std::string& standardOutputFailure() { return output().failure; }

std::string_view lineEnd() { return "\r\n"; }

}  // namespace voren
