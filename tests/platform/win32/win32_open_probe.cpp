// Another process that tries to open a COM port: exits with 0 when it got
// the port, else with the Win32 error of the open. With "hold" it keeps the
// port, says so with one byte on its output, and ends when its input does.
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/win32/win32.h"

int main(int argc, char** argv) {
  const bool hold = argc == 3 && std::string(argv[2]) == "hold";
  if (argc != 2 && !hold) {
    std::fputs("usage: win32_open_probe \\\\.\\COMn [hold]\n", stderr);
    return 255;
  }
  HANDLE port = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError() & 0xff);
  if (hold) {
    char byte = 'h';
    if (write(1, &byte, 1) == 1) {
      while (read(0, &byte, 1) > 0) {
      }
    }
  }
  CloseHandle(port);
  return 0;
}
