// A USB adapter's latency timer read from a sysfs laid out in a temporary
// tree, the tty found by its device number: /dev/null stands in for the
// adapter's device node.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/win32/posix/adapter_latency_posix.h"
#include "tests/support/temp_dir.h"

namespace voren {
namespace {

namespace fs = std::filesystem;

TEST(AdapterLatency, ReadFromTheDriversAttributeOfTheTtyBehindTheDevice) {
  const test::TempDir folder("voren-adapter-latency");
  ASSERT_TRUE(folder.made());
  const fs::path root = folder.path();
  const fs::path tty = root / "devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB7/tty/ttyUSB7";
  fs::create_directories(tty);
  fs::create_directories(root / "dev/char");
  fs::create_symlink(tty, root / "dev/char/1:3");  // /dev/null's number
  fs::create_symlink("/dev/null", root / "by-id-link");
  std::ofstream(root / "plain-file") << "16\n";

  // A tty whose driver has no timer.
  AdapterLatency none = adapterLatencyUnder(root, "/dev/null");
  EXPECT_EQ(none.setting, AdapterLatency::Setting::SysfsFile);
  EXPECT_FALSE(none.timerMs);
  EXPECT_EQ(none.file, "");

  fs::create_symlink(tty.parent_path().parent_path(), tty / "device");
  std::ofstream(tty / "device/latency_timer") << "16\n";
  for (const fs::path& device : {fs::path("/dev/null"), root / "by-id-link"}) {
    const AdapterLatency found = adapterLatencyUnder(root, device);
    EXPECT_EQ(found.timerMs, 16u) << device;
    EXPECT_EQ(found.file, (root / "class/tty/ttyUSB7/device/latency_timer").string()) << device;
  }
  // Only a character device has a tty behind it.
  EXPECT_FALSE(adapterLatencyUnder(root, root / "plain-file").timerMs);
  EXPECT_FALSE(adapterLatencyUnder(root, root / "missing").timerMs);
}

}  // namespace
}  // namespace voren
