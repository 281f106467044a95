#pragma once
// adapterLatency() with the root of sysfs given, so that tests can lay out
// a driver of their own.
#include <filesystem>

#include "platform/win32/adapter_latency.h"

namespace voren {

// The adapter behind the character device at devicePath (links followed).
AdapterLatency adapterLatencyUnder(const std::filesystem::path& sysRoot,
                                   const std::filesystem::path& devicePath);

}  // namespace voren
