#include "app/trace_place.h"

#include <filesystem>

namespace voren {

std::string tracePlaceRefusal(const std::string& path, const std::optional<FontInUse>& font) {
  const std::string named = "trace file '" + path + "': ";
  if (!folderExistsFor(path)) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return named + "folder '" + folder + "' does not exist";
  }
  std::string reason;
  const auto facts = fileAt(path, reason);
  // Nothing there is a new file; a path that cannot even be looked at is
  // left to the creation, which names its own reason.
  if (!facts) return {};
  // A new or earlier trace, or a device such as /dev/null: anything else
  // would hang the open or lose the trace.
  if (facts->kind != FileKind::Regular && facts->kind != FileKind::Device) {
    return named + kindName(facts->kind);
  }
  if (font && facts->identity == font->identity) {
    return named + "the font file '" + font->path + "' itself";
  }
  return {};
}

}  // namespace voren
