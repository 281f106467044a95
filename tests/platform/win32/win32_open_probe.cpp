// Another process that tries to open a COM port: exits with 0 when it got
// the port, else with the Win32 error of the open.
#include <cstdio>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: win32_open_probe \\\\.\\COMn\n", stderr);
    return 255;
  }
  HANDLE port = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError() & 0xff);
  CloseHandle(port);
  return 0;
}
