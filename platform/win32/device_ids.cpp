#include "platform/win32/device_ids.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

namespace voren {

namespace {

std::string lowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t at = 0;;) {
    const auto end = text.find(separator, at);
    parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return parts;
    at = end + 1;
  }
}

// The four hex digits after "VID_" or "PID_" (any case), lowercase; empty
// when the id has none.
std::string hexAfter(std::string_view id, std::string_view key) {
  const std::string lower = lowercase(id);
  const auto at = lower.find(lowercase(key));
  if (at == std::string::npos || at + key.size() + 4 > lower.size()) return {};
  const std::string digits = lower.substr(at + key.size(), 4);
  const bool hex = std::all_of(digits.begin(), digits.end(),
                               [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  return hex ? digits : std::string();
}

std::string serialOf(std::string_view instanceId) {
  const auto parts = split(instanceId, '\\');
  if (parts.size() != 3) return {};
  const std::string bus = lowercase(parts[0]);
  if (bus == "usb") {
    // An interface of a composite device (MI_nn) has the serial number on
    // its parent; Windows makes up an instance with '&' when the device
    // has no serial number.
    if (lowercase(parts[1]).find("&mi_") != std::string::npos) return {};
    if (parts[2].find('&') != std::string_view::npos) return {};
    return std::string(parts[2]);
  }
  if (bus == "ftdibus") {
    // The bus driver appends the channel letter (A, B...) to the serial number.
    const auto fields = split(parts[1], '+');
    if (fields.size() != 3 || fields[2].size() < 2) return {};
    return std::string(fields[2].substr(0, fields[2].size() - 1));
  }
  return {};
}

}  // namespace

PortDescription usbIdsOfDevice(std::string_view hardwareId, std::string_view instanceId) {
  PortDescription ids;
  for (const auto id : {hardwareId, instanceId}) {
    ids.vendorId = hexAfter(id, "VID_");
    ids.productId = hexAfter(id, "PID_");
    if (!ids.vendorId.empty() && !ids.productId.empty()) break;
  }
  if (ids.vendorId.empty() || ids.productId.empty()) ids.vendorId = ids.productId = {};
  ids.serial = serialOf(instanceId);
  return ids;
}

}  // namespace voren
