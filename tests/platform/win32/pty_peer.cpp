#include "tests/platform/win32/pty_peer.h"

#include <dirent.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace voren::test {

int openRawPty(std::string& slavePath) {
  int master = -1;
  int slave = -1;
  char name[64] = {};
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return -1;
  close(slave);
  termios raw{};
  tcgetattr(master, &raw);
  cfmakeraw(&raw);
  tcsetattr(master, TCSANOW, &raw);
  slavePath = name;
  return master;
}

int countEntries(const char* directory) {
  DIR* dir = opendir(directory);
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

int settledCount(const char* directory, int expected) {
  int count = countEntries(directory);
  for (int i = 0; i < 200 && count != expected; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    count = countEntries(directory);
  }
  return count;
}

}  // namespace voren::test
