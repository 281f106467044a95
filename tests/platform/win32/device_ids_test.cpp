// USB ids and serial numbers as Windows' device ids carry them.
#include "platform/win32/device_ids.h"

#include <gtest/gtest.h>

#include <string>

namespace voren {
namespace {

struct Ids {
  const char* name;
  const char* hardwareId;
  const char* instanceId;
  std::string vendorId, productId, serial;
};

class DeviceIds : public ::testing::TestWithParam<Ids> {};

TEST_P(DeviceIds, GiveTheUsbIdsAndSerialNumber) {
  const Ids& row = GetParam();
  const PortDescription ids = usbIdsOfDevice(row.hardwareId, row.instanceId);
  EXPECT_EQ(ids.vendorId, row.vendorId);
  EXPECT_EQ(ids.productId, row.productId);
  EXPECT_EQ(ids.serial, row.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, DeviceIds,
    ::testing::Values(
        // FTDI's bus driver: the serial number with the channel letter after it.
        Ids{"FtdiBus", R"(FTDIBUS\COMPORT&VID_0403&PID_6001)",
            R"(FTDIBUS\VID_0403+PID_6001+A50285BIA\0000)", "0403", "6001", "A50285BI"},
        // No serial number: Windows makes an instance of its own, with '&'.
        Ids{"Ch340", R"(USB\VID_1A86&PID_7523&REV_0264)", R"(USB\VID_1A86&PID_7523\5&2B3A2C1&0&2)",
            "1a86", "7523", ""},
        Ids{"UsbSerialNumber", R"(USB\VID_067B&PID_2303&REV_0300)",
            R"(USB\VID_067B&PID_2303\0123456789)", "067b", "2303", "0123456789"},
        // An interface of a composite device: its serial number is its parent's.
        Ids{"CompositeInterface", R"(USB\VID_2E8A&PID_000A&REV_0100&MI_00)",
            R"(USB\VID_2E8A&PID_000A&MI_00\7&1F2C3D4E&0&0000)", "2e8a", "000a", ""},
        Ids{"Uart", R"(ACPI\PNP0501)", R"(ACPI\PNP0501\1)", "", "", ""},
        Ids{"CutShort", R"(USB\VID_04)", "", "", "", ""},
        Ids{"NotHex", R"(USB\VID_XYZW&PID_0001)", "", "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace voren
