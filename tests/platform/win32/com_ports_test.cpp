// The COM ports of a Linux machine laid out in a temporary tree: fake sysfs
// type files, device nodes that are links to pseudo-terminals (stat follows
// them to a character device), and VOREN_COMn mappings.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/win32/com_device.h"
#include "platform/win32/posix/com_names.h"
#include "platform/win32/posix/com_ports_posix.h"
#include "platform/win32/win32.h"
#include "tests/platform/win32/pty_peer.h"

namespace voren {

bool operator==(const ComPort& a, const ComPort& b) {
  return a.number == b.number && a.device == b.device;
}

void PrintTo(const ComPort& port, std::ostream* out) {
  *out << "{" << port.number << ", " << port.device << "}";
}

namespace {

namespace fs = std::filesystem;

class ComPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("voren-com-ports-" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(dev());
    fs::create_directories(sys() / "class/tty");
    // Mappings from the environment the tests run in would be listed too.
    for (unsigned n = 1; n <= 255; ++n) {
      const std::string name = "VOREN_COM" + std::to_string(n);
      if (const char* value = std::getenv(name.c_str())) saved_[name] = value;
      unsetenv(name.c_str());
    }
  }

  void TearDown() override {
    win32::mapComPort(255, "");
    for (int master : masters_) close(master);
    for (unsigned n = 1; n <= 255; ++n) unsetenv(("VOREN_COM" + std::to_string(n)).c_str());
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    fs::remove_all(root_);
  }

  fs::path dev() const { return root_ / "dev"; }
  fs::path sys() const { return root_ / "sys"; }

  // A pseudo-terminal's slave: a character device nobody opens.
  std::string pty() {
    std::string slave;
    const int master = test::openRawPty(slave);
    EXPECT_GE(master, 0);
    masters_.push_back(master);
    slaves_.push_back(slave);
    return slave;
  }

  void device(const std::string& name) { fs::create_symlink(pty(), dev() / name); }

  void uartType(const std::string& name, int type) {
    fs::create_directories(sys() / "class/tty" / name);
    std::ofstream(sys() / "class/tty" / name / "type") << type << "\n";
  }

  fs::path root_;
  std::map<std::string, std::string> saved_;
  std::vector<int> masters_;
  std::vector<std::string> slaves_;
};

TEST_F(ComPorts, MappingsUartsAndAdaptersInOrderWithNothingOpened) {
  uartType("ttyS0", 4);  // a 16550A: COM1
  device("ttyS0");
  uartType("ttyS1", 0);  // a slot without a UART: no port
  device("ttyS1");
  uartType("ttyS2", 4);  // no device node: no port
  uartType("ttyS3", 4);  // COM4 is mapped elsewhere, to nothing
  device("ttyS3");
  setenv("VOREN_COM4", (root_ / "gone").c_str(), 1);
  uartType("ttyS11", 4);  // COM12 comes after COM3 and COM5
  device("ttyS11");
  device("ttyUSB0");
  device("ttyACM0");
  device("ttyUSB1");  // mapped: listed under its number only
  setenv("VOREN_COM5", (dev() / "ttyUSB1").c_str(), 1);
  const std::string com3 = pty();
  setenv("VOREN_COM3", com3.c_str(), 1);
  std::ofstream(dev() / "ttyUSB7") << "not a device\n";

  // Any open of a port would show as IN_OPEN on its node.
  const int watcher = inotify_init1(IN_NONBLOCK);
  ASSERT_GE(watcher, 0);
  for (const auto& slave : slaves_)
    ASSERT_GE(inotify_add_watch(watcher, slave.c_str(), IN_OPEN), 0);

  const auto ports = comPortsUnder(sys(), dev());

  char events[4096];
  const auto opened = read(watcher, events, sizeof events);
  close(watcher);
  EXPECT_LT(opened, 0) << "the listing opened a port";
  EXPECT_EQ(ports, (std::vector<ComPort>{{1, (dev() / "ttyS0").string()},
                                         {3, com3},
                                         {5, (dev() / "ttyUSB1").string()},
                                         {12, (dev() / "ttyS11").string()},
                                         {0, (dev() / "ttyACM0").string()},
                                         {0, (dev() / "ttyUSB0").string()}}));
  // Unmapped, a COM number opens the ttyS the list gives it.
  EXPECT_EQ(win32::comDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(win32::comDevicePath(12), "/dev/ttyS11");
}

TEST_F(ComPorts, MachineWithoutUartsOrMappingsHasNone) {
  uartType("ttyS0", 0);
  device("ttyS0");
  EXPECT_TRUE(comPortsUnder(sys(), dev()).empty());
}

// A device given on the command line is COM255 for this process alone: the
// environment, which child processes inherit, keeps the user's own mapping,
// and the machine's ports are still the user's.
TEST_F(ComPorts, DeviceOfTheCommandLineLeavesTheEnvironmentAlone) {
  const std::string usersOwn = pty();
  setenv("VOREN_COM255", usersOwn.c_str(), 1);
  const std::string device = pty();
  EXPECT_EQ(comPortForDevice(device).port, 255);
  EXPECT_EQ(std::getenv("VOREN_COM255"), usersOwn);
  EXPECT_EQ(comPortsUnder(sys(), dev()), (std::vector<ComPort>{{255, usersOwn}}));
  EXPECT_EQ(comPortPath(255), usersOwn) << "what COM255 is for every other process";
  HANDLE port = CreateFileA(R"(\\.\COM255)", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(port, INVALID_HANDLE_VALUE) << GetLastError();
  if (port != INVALID_HANDLE_VALUE) CloseHandle(port);
}

}  // namespace
}  // namespace voren
