#include "tests/support/temp_dir.h"

#include <filesystem>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <random>
#else
#include <stdlib.h>
#endif

namespace voren::test {

std::string makeTempDir(const std::string& prefix) {
  std::error_code error;
  const std::filesystem::path base = std::filesystem::temp_directory_path(error);
  if (error) return {};
#ifdef _WIN32
  // No mkdtemp: random names until a creation succeeds (it fails on a name
  // that exists, so no other test shares the folder it returns).
  std::mt19937_64 random(std::random_device{}() ^ GetCurrentProcessId() ^
                         static_cast<std::uint64_t>(
                             std::chrono::steady_clock::now().time_since_epoch().count()));
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = prefix + "-";
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    const std::string path = (base / name).string();
    if (CreateDirectoryA(path.c_str(), nullptr)) return path;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return {};
  }
  return {};
#else
  const std::string pattern = (base / (prefix + "-XXXXXX")).string();
  std::vector<char> path(pattern.begin(), pattern.end());
  path.push_back('\0');
  return mkdtemp(path.data()) ? std::string(path.data()) : std::string();
#endif
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace voren::test
