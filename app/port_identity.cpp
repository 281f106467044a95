#include "app/port_identity.h"

#include <filesystem>

#include "platform/win32/com_device.h"

namespace voren {

namespace {

std::string portName(const PortArgument& port) {
  return port.number ? "COM" + std::to_string(*port.number) : port.device;
}

// What a port is compared by when its device cannot be looked at: the path
// it would open, or on Windows its number.
std::string reachByName(const std::optional<std::string>& path, std::uint8_t number) {
  if (path) return std::filesystem::path(*path).lexically_normal().string();
  return "COM" + std::to_string(number);
}

struct Reach {
  FileIdentity device;
  std::string name;
  bool operator==(const Reach& other) const {
    if (device != FileIdentity{} && other.device != FileIdentity{}) return device == other.device;
    return name == other.name;
  }
};

}  // namespace

std::string ownPlaceName(const FileIdentity& identity) {
  // The terminal first: it is behind the streams of an interactive run too.
  for (const auto& terminal : ownTerminalIdentities()) {
    if (sameFile(identity, terminal)) return "the program's own terminal";
  }
  const struct {
    StandardStream stream;
    const char* text;
  } streams[] = {{StandardStream::Input, "the program's standard input"},
                 {StandardStream::Output, "the program's standard output"},
                 {StandardStream::Error, "the program's standard error"}};
  for (const auto& [stream, text] : streams) {
    const auto facts = standardStreamFacts(stream);
    if (facts && sameFile(identity, facts->identity)) return text;
  }
  return {};
}

std::optional<std::vector<RunPort>> checkRunPorts(const std::vector<PortArgument>& ports,
                                                  std::string& refusal) {
  std::vector<RunPort> checked;
  std::vector<Reach> reaches;
  for (const auto& port : ports) {
    RunPort run{port, portName(port), 0, {}};
    std::optional<std::string> path;
    if (port.number) {
      run.number = *port.number;
      path = comPortPath(run.number);
    } else {
      const auto named = comPortForDevice(port.device);
      if (!named.port) {
        refusal = "device '" + run.name + "': " + named.refusal;
        return std::nullopt;
      }
      run.number = *named.port;
      // A name spelled as a COM port opens what that port opens.
      const bool comName = comNumberOfName(port.device).has_value();
      path = comName ? comPortPath(run.number) : std::optional(port.device);
    }
    std::string ignored;
    if (path) {
      if (const auto facts = fileAt(*path, ignored)) run.device = facts->identity;
    }
    // A port there would take the operator's screen or the script's log, and
    // a station's child would stop on the terminal (SIGTTOU) while the
    // station waits for it.
    if (const std::string own = ownPlaceName(run.device); !own.empty()) {
      refusal = "device '" + run.name + "': " + own;
      return std::nullopt;
    }
    const Reach reach{run.device, reachByName(path, run.number)};
    for (std::size_t i = 0; i < reaches.size(); ++i) {
      if (!(reaches[i] == reach)) continue;
      refusal = "the port '" + checked[i].name + "' is named twice";
      if (checked[i].name != run.name) refusal += ", also as '" + run.name + "'";
      return std::nullopt;
    }
    reaches.push_back(reach);
    checked.push_back(std::move(run));
  }
  return checked;
}

}  // namespace voren
