#include "platform/win32/posix/tty_descriptions.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <array>
#include <fstream>
#include <optional>

namespace voren {

namespace {

namespace fs = std::filesystem;

// A tty's device sits a few levels below the USB device it belongs to:
// ttyUSB0, its interface, the USB device. Hubs add none of these levels.
constexpr int kLevelsToTheUsbDevice = 8;
// Longer than any USB string descriptor (126 UTF-16 units) in UTF-8.
constexpr std::streamsize kLongestAttribute = 512;

// Bytes that are no UTF-8 become '?': every reader of the record may take
// the texts as UTF-8 (a JSON writer refuses anything else).
std::string validUtf8(const std::string& text) {
  std::string valid;
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char lead = byte(i);
    // Length of the sequence, and the range its second byte must lie in
    // (which rules out overlong forms, surrogates and code points past U+10FFFF).
    std::size_t length = 1;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else if (lead >= 0x80) {
      length = 0;
    }
    bool whole = length > 0 && i + length <= text.size();
    for (std::size_t k = 1; whole && k < length; ++k) {
      const unsigned char next = byte(i + k);
      whole = k == 1 ? next >= low && next <= high : next >= 0x80 && next <= 0xBF;
    }
    if (whole) {
      valid.append(text, i, length);
      i += length;
    } else {
      valid += '?';
      ++i;
    }
  }
  return valid;
}

// The first line of a sysfs attribute; empty when there is none.
std::string attribute(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::array<char, kLongestAttribute> buffer{};
  in.read(buffer.data(), buffer.size());
  std::string text(buffer.data(), static_cast<std::size_t>(in.gcount()));
  text = text.substr(0, text.find('\n'));
  return validUtf8(text);
}

// The driver bound to a sysfs device. The serial core puts devices of its
// own (port, ctrl) between a UART's tty and the UART; the driver that says
// what the port is sits on the device above them.
std::optional<std::string> boundDriver(const fs::path& device) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(device / "driver", error);
  if (error) return std::nullopt;
  // .../bus/BUS/drivers/NAME
  if (driver.parent_path().parent_path().filename() == "serial-base") return std::nullopt;
  return driver.filename().string();
}

bool strictlyUnder(const fs::path& path, const fs::path& root) {
  const auto rel = path.lexically_relative(root);
  return !rel.empty() && rel != "." && *rel.begin() != "..";
}

}  // namespace

std::optional<dev_t> characterDevice(const fs::path& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0 || !S_ISCHR(status.st_mode)) return std::nullopt;
  return status.st_rdev;
}

std::optional<fs::path> ttyDirectory(const fs::path& sysRoot, dev_t device) {
  std::error_code error;
  fs::path dir = fs::canonical(
      sysRoot / "dev/char" / (std::to_string(major(device)) + ":" + std::to_string(minor(device))),
      error);
  if (error) return std::nullopt;
  return dir;
}

TtyDescriptions::TtyDescriptions(const fs::path& sysRoot, const fs::path& devRoot) {
  std::error_code error;
  sysRoot_ = fs::canonical(sysRoot, error);
  if (error) sysRoot_ = sysRoot;
  // Two links to one device (rare) give the first by name, every time.
  for (const auto& entry : fs::directory_iterator(devRoot / "serial/by-id", error)) {
    const auto device = characterDevice(entry.path());
    if (!device) continue;
    auto [known, added] = byId_.emplace(*device, entry.path().string());
    if (!added && entry.path().string() < known->second) known->second = entry.path().string();
  }
}

PortDescription TtyDescriptions::of(dev_t device) const {
  PortDescription description;
  if (const auto link = byId_.find(device); link != byId_.end()) description.byId = link->second;
  const auto tty = ttyDirectory(sysRoot_, device);
  if (!tty) return description;

  std::error_code error;
  fs::path dir = fs::canonical(*tty / "device", error);
  if (error) return description;
  // Up from the tty's device: the first real driver, and the USB device
  // (the one with idVendor) with the interface the port came through.
  fs::path below;
  for (int level = 0; level <= kLevelsToTheUsbDevice && strictlyUnder(dir, sysRoot_); ++level) {
    if (description.driver.empty()) description.driver = boundDriver(dir).value_or("");
    if (fs::exists(dir / "idVendor", error)) {
      description.vendorId = attribute(dir / "idVendor");
      description.productId = attribute(dir / "idProduct");
      description.manufacturer = attribute(dir / "manufacturer");
      description.product = attribute(dir / "product");
      description.serial = attribute(dir / "serial");
      description.location = (below.empty() ? dir : below).filename().string();
      break;
    }
    below = dir;
    dir = dir.parent_path();
  }
  return description;
}

}  // namespace voren
