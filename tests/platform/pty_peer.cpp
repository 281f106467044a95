#include "tests/platform/pty_peer.h"

#include <dirent.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

}  // namespace voren::test
