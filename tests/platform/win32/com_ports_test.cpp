// The COM ports of a Linux machine laid out in a temporary tree: sysfs as
// the kernel lays it out for UARTs and USB adapters, device nodes that are
// links to pseudo-terminals (stat follows them to a character device), and
// VOREN_COMn mappings.
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/port_list.h"
#include "platform/win32/com_device.h"
#include "platform/win32/posix/com_names.h"
#include "platform/win32/posix/com_ports_posix.h"
#include "platform/win32/win32.h"
#include "tests/platform/win32/pty_peer.h"
#include "tests/support/temp_dir.h"

namespace voren {

void PrintTo(const ComPort& port, std::ostream* out) {
  const auto& d = port.description;
  *out << "{" << port.number << ", " << port.device << ", {" << d.driver << ", " << d.vendorId
       << ":" << d.productId << ", " << d.manufacturer << ", " << d.product << ", " << d.serial
       << ", " << d.location << ", " << d.byId << ", " << d.friendlyName << "}}";
}

namespace {

namespace fs = std::filesystem;

class ComPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    // Mappings from the environment the tests run in would be listed too.
    for (unsigned n = 1; n <= 255; ++n) {
      const std::string name = "VOREN_COM" + std::to_string(n);
      if (const char* value = std::getenv(name.c_str())) saved_[name] = value;
      unsetenv(name.c_str());
    }
    ASSERT_TRUE(folder_.made());
    root_ = folder_.path();
    fs::create_directories(dev());
    fs::create_directories(sys() / "class/tty");
  }

  void TearDown() override {
    win32::mapComPort(255, "");
    for (int master : masters_) close(master);
    for (unsigned n = 1; n <= 255; ++n) unsetenv(("VOREN_COM" + std::to_string(n)).c_str());
    for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
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

  // The device node, and its number in the kernel's index of devices.
  void device(const std::string& name) {
    const std::string slave = pty();
    fs::create_symlink(slave, dev() / name);
    struct stat status {};
    ASSERT_EQ(stat(slave.c_str(), &status), 0);
    link(sys() / "dev/char" /
             (std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev))),
         sys() / "class/tty" / name);
  }

  static void file(const fs::path& path, const std::string& line) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << line << "\n";
  }

  // A relative link, as sysfs and udev make them.
  static void link(const fs::path& at, const fs::path& target) {
    fs::create_directories(at.parent_path());
    fs::create_symlink(target.lexically_relative(at.parent_path()), at);
  }

  void driver(const fs::path& device, const std::string& bus, const std::string& name) {
    const fs::path target = sys() / "bus" / bus / "drivers" / name;
    fs::create_directories(target);
    fs::create_directories(device);
    link(device / "driver", target);
  }

  // A tty of the device at deviceDir: its class entry and device link.
  void tty(const std::string& name, const fs::path& deviceDir) {
    const fs::path ttyDir = deviceDir / "tty" / name;
    fs::create_directories(ttyDir);
    link(sys() / "class/tty" / name, ttyDir);
    link(ttyDir / "device", deviceDir);
    device(name);
  }

  // A USB device on the first controller, with its strings.
  fs::path usbDevice(const std::string& port, const std::map<std::string, std::string>& strings) {
    const fs::path dir = sys() / "devices/pci0000:00/0000:00:14.0/usb1" / port;
    for (const auto& [attribute, value] : strings) file(dir / attribute, value);
    return dir;
  }

  void uartType(const std::string& name, int type) {
    file(sys() / "class/tty" / name / "type", std::to_string(type));
  }

  const test::TempDir folder_{"voren-com-ports"};
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

// Each kind of port as sysfs shows it, and the --list line made of it.
TEST_F(ComPorts, EachPortWithWhatTheSystemKnowsOfIt) {
  // A UART behind the serial core's own port and controller devices.
  const fs::path uart = sys() / "devices/pnp0/00:05";
  driver(uart, "pnp", "serial");
  driver(uart / "00:05:0", "serial-base", "ctrl");
  driver(uart / "00:05:0/00:05:0.0", "serial-base", "port");
  tty("ttyS0", uart / "00:05:0/00:05:0.0");
  uartType("ttyS0", 4);

  // usb-serial: the tty's device is the port below the interface; the USB
  // device's strings are two levels up.
  const fs::path ftdi = usbDevice("1-1", {{"idVendor", "0403"},
                                          {"idProduct", "6001"},
                                          {"manufacturer", "FTDI"},
                                          {"product", "FT232R USB UART"},
                                          {"serial", "A50285BI"}});
  driver(ftdi / "1-1:1.0", "usb", "ftdi_sio");
  driver(ftdi / "1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  tty("ttyUSB0", ftdi / "1-1:1.0/ttyUSB0");

  // Behind a hub, naming no maker and no serial number.
  const fs::path ch340 = usbDevice(
      "1-2/1-2.3", {{"idVendor", "1a86"}, {"idProduct", "7523"}, {"product", "USB Serial"}});
  driver(ch340 / "1-2.3:1.0", "usb", "ch341");
  driver(ch340 / "1-2.3:1.0/ttyUSB1", "usb-serial", "ch341-uart");
  tty("ttyUSB1", ch340 / "1-2.3:1.0/ttyUSB1");

  // CDC-ACM: the tty's device is the interface itself, one level below the
  // USB device; udev made a by-id link to it.
  const fs::path acm = usbDevice("1-4", {{"idVendor", "2e8a"},
                                         {"idProduct", "000a"},
                                         {"manufacturer", "Raspberry Pi"},
                                         {"product", "Pico"},
                                         {"serial", "E6614103E7325A2B"}});
  driver(acm / "1-4:1.0", "usb", "cdc_acm");
  tty("ttyACM0", acm / "1-4:1.0");
  const std::string byId = "usb-Raspberry_Pi_Pico_E6614103E7325A2B-if00";
  link(dev() / "serial/by-id" / byId, dev() / "ttyACM0");

  // A mapped pseudo-terminal: sysfs knows no device behind it.
  const std::string com3 = pty();
  setenv("VOREN_COM3", com3.c_str(), 1);
  // The CH340 by number.
  setenv("VOREN_COM7", (dev() / "ttyUSB1").c_str(), 1);

  const auto ports = comPortsUnder(sys(), dev());
  const std::string ftdiPath = (dev() / "ttyUSB0").string();
  const std::string acmPath = (dev() / "ttyACM0").string();
  const std::string ch340Path = (dev() / "ttyUSB1").string();
  const std::string uartPath = (dev() / "ttyS0").string();
  EXPECT_EQ(ports, (std::vector<ComPort>{{1, uartPath, {.driver = "serial"}},
                                         {3, com3, {}},
                                         {7,
                                          ch340Path,
                                          {.driver = "ch341-uart",
                                           .vendorId = "1a86",
                                           .productId = "7523",
                                           .product = "USB Serial",
                                           .location = "1-2.3:1.0"}},
                                         {0,
                                          acmPath,
                                          {.driver = "cdc_acm",
                                           .vendorId = "2e8a",
                                           .productId = "000a",
                                           .manufacturer = "Raspberry Pi",
                                           .product = "Pico",
                                           .serial = "E6614103E7325A2B",
                                           .location = "1-4:1.0",
                                           .byId = (dev() / "serial/by-id" / byId).string()}},
                                         {0,
                                          ftdiPath,
                                          {.driver = "ftdi_sio",
                                           .vendorId = "0403",
                                           .productId = "6001",
                                           .manufacturer = "FTDI",
                                           .product = "FT232R USB UART",
                                           .serial = "A50285BI",
                                           .location = "1-1:1.0"}}}));

  EXPECT_EQ(portListLines(ports),
            (std::vector<std::string>{
                "COM1 " + uartPath + ": sterownik serial", "COM3 " + com3,
                "COM7 " + ch340Path +
                    ": USB Serial, USB 1a86:7523, sterownik ch341-uart, miejsce 1-2.3:1.0",
                acmPath +
                    ": Raspberry Pi Pico, USB 2e8a:000a, nr seryjny E6614103E7325A2B, sterownik "
                    "cdc_acm, miejsce 1-4:1.0, " +
                    (dev() / "serial/by-id" / byId).string(),
                ftdiPath + ": FTDI FT232R USB UART, USB 0403:6001, nr seryjny A50285BI, sterownik "
                           "ftdi_sio, miejsce 1-1:1.0"}));
}

// A device names itself: what it says reaches the record as UTF-8 and the
// screen as plain ASCII, never as a terminal's escape sequence.
TEST_F(ComPorts, DeviceStringsAreKeptOffTheTerminal) {
  const fs::path usb = usbDevice("1-1", {{"idVendor", "0403"},
                                         {"idProduct", "6001"},
                                         {"manufacturer",
                                          "Zak\xc5\x82"
                                          "ad \xff\xc5"},
                                         {"product", "\x1b]0;pwned\x07\x1b[2J"}});
  driver(usb / "1-1:1.0/ttyUSB0", "usb-serial", "ftdi_sio");
  tty("ttyUSB0", usb / "1-1:1.0/ttyUSB0");

  const auto ports = comPortsUnder(sys(), dev());
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(ports[0].description.manufacturer,
            "Zak\xc5\x82"
            "ad ??");
  EXPECT_EQ(ports[0].description.product, "\x1b]0;pwned\x07\x1b[2J");
  EXPECT_EQ(portListLines(ports)[0], (dev() / "ttyUSB0").string() +
                                         ": Zak?ad ?? ?]0;pwned??[2J, USB 0403:6001, sterownik "
                                         "ftdi_sio, miejsce 1-1:1.0");
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
