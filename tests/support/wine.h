#pragma once
// The Wine leg's paths, for the native tests that run the windows build
// under Wine. A target including this defines VOREN_WINDOWS_BUILD_DIR and
// VOREN_SOURCE_DIR.
#include <cstdlib>
#include <string>
#include <vector>

namespace voren::test {

inline constexpr const char* kWine = "/usr/lib/wine/wine64";
inline constexpr const char* kWineServer = "/usr/lib/wine/wineserver";

// VOREN_WINEPREFIX when set, otherwise the windows build's own prefix.
inline std::string winePrefix() {
  const char* own = std::getenv("VOREN_WINEPREFIX");
  return own && *own ? own : std::string(VOREN_WINDOWS_BUILD_DIR) + "/wineprefix";
}

// The command line that runs a program under scripts/wine-run in that prefix.
inline std::vector<std::string> underWine(const std::vector<std::string>& program) {
  std::vector<std::string> argv = {"env", "VOREN_WINEPREFIX=" + winePrefix(),
                                   std::string(VOREN_SOURCE_DIR) + "/scripts/wine-run"};
  argv.insert(argv.end(), program.begin(), program.end());
  return argv;
}

}  // namespace voren::test
