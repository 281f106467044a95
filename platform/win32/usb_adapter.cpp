#include "platform/win32/usb_adapter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace voren {

namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

// The drivers of USB serial adapters (Linux's drivers, Windows' services),
// for a port whose USB ids the system did not give; one with ids needs no
// name here. FTDI's ports hang on its own bus driver, served by FTSER2K.
constexpr std::array<std::string_view, 8> kUsbSerialDrivers = {
    "ftdi_sio", "ch341-uart", "cp210x", "pl2303", "cdc_acm", "FTDIBUS", "FTSER2K", "usbser"};

}  // namespace

bool isUsbAdapter(const PortDescription& description) {
  if (!description.vendorId.empty()) return true;
  return std::any_of(
      kUsbSerialDrivers.begin(), kUsbSerialDrivers.end(),
      [&](std::string_view driver) { return sameIgnoringCase(driver, description.driver); });
}

}  // namespace voren
