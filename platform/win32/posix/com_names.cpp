#include "platform/win32/posix/com_names.h"

#include <cstdlib>
#include <map>
#include <mutex>

namespace voren::win32 {

namespace {

struct ProcessMappings {
  std::mutex mutex;
  std::map<unsigned, std::string> paths;
};

ProcessMappings& processMappings() {
  // Never destroyed: a worker thread may still open a port while the process ends.
  static auto* mappings = new ProcessMappings;
  return *mappings;
}

}  // namespace

void mapComPort(unsigned number, const std::string& path) {
  auto& mappings = processMappings();
  std::lock_guard lock(mappings.mutex);
  if (path.empty()) {
    mappings.paths.erase(number);
  } else {
    mappings.paths[number] = path;
  }
}

std::optional<std::string> comMapping(unsigned number) {
  const std::string variable = "VOREN_COM" + std::to_string(number);
  const char* mapped = std::getenv(variable.c_str());
  if (mapped == nullptr || *mapped == '\0') return std::nullopt;
  return mapped;
}

std::string comMachinePath(unsigned number) {
  return comMapping(number).value_or("/dev/ttyS" + std::to_string(number - 1));
}

std::string comDevicePath(unsigned number) {
  {
    auto& mappings = processMappings();
    std::lock_guard lock(mappings.mutex);
    if (const auto found = mappings.paths.find(number); found != mappings.paths.end()) {
      return found->second;
    }
  }
  return comMachinePath(number);
}

}  // namespace voren::win32
