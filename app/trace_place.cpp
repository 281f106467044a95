#include "app/trace_place.h"

#include <algorithm>
#include <filesystem>

#include "platform/win32/com_device.h"

namespace voren {

std::string stationTraceFile(const std::string& trace, const std::string& portName) {
  std::string leaf;
  for (const char c : portName.substr(portName.find_last_of("/\\") + 1)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      leaf += c;
      continue;
    }
    constexpr char kHex[] = "0123456789ABCDEF";
    leaf += {'%', kHex[byte >> 4], kHex[byte & 15]};
  }
  // Split by bytes, not through std::filesystem::path: on Windows that reads
  // a narrow name in one code page and writes it in another, and a letter
  // outside ASCII came back as two. A backslash counts as a separator on
  // both systems; on POSIX it only moves where a name with a dot before it
  // takes the port's name.
  const std::size_t nameAt = trace.find_last_of("/\\") + 1;
  const std::string name = trace.substr(nameAt);
  std::size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || dot == 0 || name == "..") dot = name.size();
  // The folder as the operator wrote it, separators and all.
  return trace.substr(0, nameAt) + name.substr(0, dot) + "-" + leaf + name.substr(dot);
}

std::string tracePlaceRefusal(const std::string& path, const std::vector<RunPort>& ports,
                              const std::optional<FontInUse>& font) {
  const std::string named = "trace file '" + path + "': ";
  // Before the file is looked at: on Windows looking at a port opens it.
  if (const auto port = comPortOpenedAsFile(path)) {
    for (const auto& run : ports) {
      if (run.number == *port) return named + "the port '" + run.name + "' itself";
    }
  }
  std::string reason;
  if (!folderExistsFor(path)) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const auto there = fileAt(folder, reason);
    return named + "folder '" + folder + "' " +
           (there ? std::string("is ") + kindName(there->kind) : "does not exist");
  }
  const auto facts = fileAt(path, reason);
  // Nothing there is a new file; a path that cannot even be looked at is
  // left to the creation, which names its own reason.
  if (!facts) return {};
  // A new or earlier trace, or a device such as /dev/null: anything else
  // would hang the open or lose the trace.
  if (facts->kind != FileKind::Regular && facts->kind != FileKind::Device) {
    return named + kindName(facts->kind);
  }
  if (font && sameFile(facts->identity, font->identity)) {
    return named + "the font file '" + font->path + "' itself";
  }
  for (const auto& port : ports) {
    if (sameFile(facts->identity, port.device))
      return named + "the port '" + port.name + "' itself";
  }
  // The null device keeps nothing, so a trace may share it with them.
  const auto null = fileAt(kNullDevice, reason);
  if (null && sameFile(facts->identity, null->identity)) return {};
  // The terminal too: the trace would write over the screen, and stop the
  // run of a background job (SIGTTOU).
  if (const std::string own = ownPlaceName(facts->identity); !own.empty()) return named + own;
  // Any other terminal may stop taking the trace, and the upload with it.
  if (facts->kind == FileKind::Device && isTerminal(path)) return named + "a terminal";
  return {};
}

std::optional<std::vector<std::string>> traceFiles(const std::string& trace,
                                                   const std::vector<RunPort>& ports,
                                                   const std::optional<FontInUse>& font,
                                                   std::string& refusal) {
  refusal = tracePlaceRefusal(trace, ports, font);
  if (!refusal.empty()) return std::nullopt;
  std::string reason;
  const auto given = fileAt(trace, reason);
  const bool device = given && given->kind == FileKind::Device;
  const std::size_t count = std::max<std::size_t>(ports.size(), 1);
  std::vector<std::string> files;
  std::vector<FileIdentity> taken;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string file = count == 1 || device ? trace : stationTraceFile(trace, ports[i].name);
    if (device) {
      // Tried once, as a child would open it: /dev/tty without a terminal.
      if (i == 0 && !fileWritable(file, reason)) {
        refusal = "trace file '" + file + "': cannot be created: " + reason;
        return std::nullopt;
      }
      files.push_back(file);
      continue;
    }
    const auto facts = fileAt(file, reason);
    for (std::size_t j = 0; j < files.size(); ++j) {
      if (files[j] == file || (facts && sameFile(facts->identity, taken[j]))) {
        refusal =
            "trace file '" + file + "': named for both " + ports[j].name + " and " + ports[i].name;
        return std::nullopt;
      }
    }
    if (file != trace) refusal = tracePlaceRefusal(file, ports, font);
    if (refusal.empty() && !(facts && facts->kind == FileKind::Device) &&
        !fileWritable(file, reason)) {
      refusal = "trace file '" + file + "': cannot be created: " + reason;
    }
    if (!refusal.empty()) return std::nullopt;
    files.push_back(file);
    taken.push_back(facts ? facts->identity : FileIdentity{});
  }
  return files;
}

}  // namespace voren
