#pragma once
// A folder of one test's own for its files, never a fixed name: two
// checkouts' tests (or two copies of one test program) run side by side,
// and a folder another user left behind is no folder of ours.
#include <string>

namespace voren::test {

// A fresh folder under the system's temporary folder (TMPDIR, else /tmp;
// on Windows GetTempPath), named prefix-XXXXXX and made by this call alone
// (mkdtemp; on Windows a directory creation that fails on a name taken).
// Empty when none could be made.
std::string makeTempDir(const std::string& prefix);

// makeTempDir's folder, removed with what it holds at the end of the scope.
class TempDir {
 public:
  explicit TempDir(const std::string& prefix) : path_(makeTempDir(prefix)) {}
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  bool made() const { return !path_.empty(); }
  const std::string& path() const { return path_; }
  // The path of a file in the folder.
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace voren::test
