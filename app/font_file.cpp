#include "app/font_file.h"

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/glyph_table.h"

namespace voren {

std::optional<std::vector<std::uint8_t>> readFontFile(const std::string& path, std::string& error) {
  const std::string named = "font file '" + path + "': ";
  const std::string wanted = std::to_string(kGlyphTableSize) + " bytes";
  std::error_code code;
  const auto status = std::filesystem::status(path, code);
  if (code) {
    error = named + code.message() + ", not a font of " + wanted;
    return std::nullopt;
  }
  if (std::filesystem::is_directory(status)) {
    error = named + "a directory, not a font of " + wanted;
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = named + "cannot be opened for reading, not a font of " + wanted;
    return std::nullopt;
  }
  // A read that breaks off leaves the table short, and the size says so.
  const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>{});
  if (bytes.size() != kGlyphTableSize) {
    error = named + std::to_string(bytes.size()) + " bytes, a font has " + wanted;
    return std::nullopt;
  }
  return bytes;
}

}  // namespace voren
