#include "sim/report.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace voren::sim {

std::string summaryLine(const PrinterStats& stats) {
  char text[256];
  std::snprintf(text, sizeof text,
                "summary: blocks stored %d/%d, repeats %d, CRC failures %d, verification "
                "failures %d, protocol errors %d, updates completed %d, bytes received %llu",
                stats.blocksStored, kBlockCount, stats.repeats, stats.crcFailures,
                stats.verifyFailures, stats.protocolErrors, stats.updatesCompleted,
                static_cast<unsigned long long>(stats.bytesReceived));
  return text;
}

bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes,
                         std::string* error) {
  std::string temporary = path + ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    if (!out.flush()) {
      if (error) *error = "cannot write " + temporary;
      return false;
    }
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot rename " + temporary + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace voren::sim
