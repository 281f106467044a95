// Another process that tries to open a COM port: exits with 0 when it got
// the port, else with the Win32 error of the open. With --hold after the
// name it keeps the port, says "held" on stdout and waits to be killed; with
// --hold alone it only waits, holding what it was started with.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
  const bool hold = std::strcmp(argv[argc - 1], "--hold") == 0;
  if (argc == 2 && hold) {
    for (;;) pause();
  }
  if (argc != 2 + (hold ? 1 : 0)) {
    std::fputs("usage: win32_open_probe \\\\.\\COMn [--hold] | --hold\n", stderr);
    return 255;
  }
  HANDLE port = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError() & 0xff);
  if (hold) {
    std::puts("held");
    std::fflush(stdout);
    for (;;) pause();
  }
  CloseHandle(port);
  return 0;
}
