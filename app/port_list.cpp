#include "app/port_list.h"

#include "app/screen_text.h"

namespace voren {

namespace {

void add(std::string& list, const std::string& part) {
  if (part.empty()) return;
  list += (list.empty() ? "" : ", ") + screenText(part);
}

// "FTDI FT232R USB UART": the maker before the product unless the product
// already names it; Windows' friendly name when the device names neither.
std::string deviceName(const PortDescription& d) {
  if (d.manufacturer.empty() || d.product.starts_with(d.manufacturer)) {
    return d.product.empty() ? d.friendlyName : d.product;
  }
  return d.product.empty() ? d.manufacturer : d.manufacturer + " " + d.product;
}

}  // namespace

std::string portLabel(const PortDescription& d) {
  std::string label;
  add(label, deviceName(d));
  if (!d.vendorId.empty() || !d.productId.empty())
    add(label, "USB " + d.vendorId + ":" + d.productId);
  if (!d.serial.empty()) add(label, "nr seryjny " + d.serial);
  return label;
}

std::vector<std::string> portListLines(const std::vector<ComPort>& ports) {
  std::vector<std::string> lines;
  for (const auto& port : ports) {
    std::string line = port.number != 0 ? "COM" + std::to_string(port.number) : std::string();
    if (!port.device.empty()) {
      if (!line.empty()) line += ' ';
      line += screenText(port.device);
    }
    const PortDescription& d = port.description;
    std::string details = portLabel(d);
    if (!d.driver.empty()) add(details, "sterownik " + d.driver);
    if (!d.location.empty()) add(details, "miejsce " + d.location);
    add(details, d.byId);
    if (!details.empty()) line += ": " + details;
    lines.push_back(line);
  }
  return lines;
}

}  // namespace voren
