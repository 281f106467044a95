// The Windows port list with devices of the ports class made for the test:
// under Wine the class is empty (its mount manager makes DOS names only), so
// the test registers the devices a driver would, and removes them after.
// On Windows registering needs an administrator; without one it skips.
#include <windows.h>
// After windows.h:
#include <setupapi.h>
// GUID_DEVCLASS_PORTS defined here, not only declared.
#include <devguid.h>
#include <gtest/gtest.h>
#include <initguid.h>

#include <string>
#include <vector>

#include "platform/win32/com_ports.h"

namespace voren {
namespace {

struct MadeDevice {
  std::wstring instanceId;
  std::wstring portName;
  std::wstring hardwareId;
  std::wstring description{}, manufacturer{}, service{}, location{}, friendlyName{};
};

class WindowsComPorts : public ::testing::Test {
 protected:
  void SetUp() override {
    devices_ = SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    ASSERT_NE(devices_, INVALID_HANDLE_VALUE) << GetLastError();
  }

  void TearDown() override {
    for (auto& device : made_) SetupDiRemoveDevice(devices_, &device);
    SetupDiDestroyDeviceInfoList(devices_);
  }

  // Registers the device as its driver's installation would; false when
  // this user may not.
  bool make(const MadeDevice& m) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiCreateDeviceInfoW(devices_, m.instanceId.c_str(), &GUID_DEVCLASS_PORTS, nullptr,
                                  nullptr, 0, &device)) {
      return false;
    }
    std::wstring hardwareIds = m.hardwareId + L'\0';
    set(device, SPDRP_HARDWAREID, hardwareIds);
    set(device, SPDRP_DEVICEDESC, m.description);
    set(device, SPDRP_MFG, m.manufacturer);
    set(device, SPDRP_SERVICE, m.service);
    set(device, SPDRP_LOCATION_INFORMATION, m.location);
    set(device, SPDRP_FRIENDLYNAME, m.friendlyName);
    if (!SetupDiRegisterDeviceInfo(devices_, &device, 0, nullptr, nullptr, nullptr)) return false;
    made_.push_back(device);
    HKEY key = SetupDiCreateDevRegKeyW(devices_, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr,
                                       nullptr);
    if (key == INVALID_HANDLE_VALUE) return false;
    const auto bytes = static_cast<DWORD>((m.portName.size() + 1) * sizeof(wchar_t));
    RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(m.portName.c_str()),
                   bytes);
    RegCloseKey(key);
    return true;
  }

  void set(SP_DEVINFO_DATA& device, DWORD property, const std::wstring& value) {
    if (value.empty()) return;
    const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    SetupDiSetDeviceRegistryPropertyW(devices_, &device, property,
                                      reinterpret_cast<const BYTE*>(value.c_str()), bytes);
  }

  HDEVINFO devices_ = INVALID_HANDLE_VALUE;
  std::vector<SP_DEVINFO_DATA> made_;
};

TEST_F(WindowsComPorts, PortsAreDescribedByTheirDevicesOfThePortsClass) {
  const auto before = comPortsPresent();
  if (before.empty()) GTEST_SKIP() << "this machine has no COM port to describe";
  const int number = before.front().number;
  const std::wstring com = L"COM" + std::to_wstring(number);

  if (!make({L"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", com,
             L"FTDIBUS\\COMPORT&VID_0403&PID_6001", L"USB Serial Port", L"FTDI", L"FTSER2K",
             L"Port_#0001.Hub_#0003", L"USB Serial Port (" + com + L")"})) {
    GTEST_SKIP() << "this user may not register devices: " << GetLastError();
  }
  // A printer port of the class, and a COM name no DOS device has: neither
  // is a port the serial unit could open.
  ASSERT_TRUE(make({L"ACPI\\PNP0400\\VOREN1", L"LPT1", L"ACPI\\PNP0400", L"Printer Port"}));
  ASSERT_TRUE(make({L"USB\\VID_1A86&PID_7523\\5&2B3A2C1&0&2", L"COM200",
                    L"USB\\VID_1A86&PID_7523&REV_0264", L"USB-SERIAL CH340", L"wch.cn"}));

  auto expected = before;
  expected.front().description = {
      .driver = "FTSER2K",
      .vendorId = "0403",
      .productId = "6001",
      .manufacturer = "FTDI",
      .product = "USB Serial Port",
      .serial = "A50285BI",
      .location = "Port_#0001.Hub_#0003",
      .friendlyName = "USB Serial Port (COM" + std::to_string(number) + ")"};
  EXPECT_EQ(comPortsPresent(), expected);
}

}  // namespace
}  // namespace voren
