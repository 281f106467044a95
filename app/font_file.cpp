#include "app/font_file.h"

#include "app/glyph_table.h"

namespace voren {

std::optional<FontFile> readFontFile(const std::string& path, std::string& error) {
  const auto refuse = [&](const std::string& reason) {
    error = "font file '" + path + "': " + reason + ", not a font of " +
            std::to_string(kGlyphTableSize) + " bytes";
    return std::nullopt;
  };
  std::string reason;
  auto file = InputFile::open(path, reason);
  if (!file) return refuse("cannot be read: " + reason);
  const FileFacts& facts = file->facts();
  if (facts.kind != FileKind::Regular || facts.size != kGlyphTableSize) {
    return refuse(facts.kind == FileKind::Regular ? std::to_string(facts.size) + " bytes"
                                                  : kindName(facts.kind));
  }
  // One byte more than a table: a file that grew since it was looked at
  // shows by its size, and no file is read whole.
  FontFile font{std::vector<std::uint8_t>(kGlyphTableSize + 1), facts.identity};
  const auto got = file->read(font.bytes, reason);
  if (!got) return refuse("cannot be read: " + reason);
  if (*got != kGlyphTableSize) return refuse(std::to_string(*got) + " bytes read");
  font.bytes.resize(kGlyphTableSize);
  return font;
}

}  // namespace voren
