#pragma once
// A glyph table the operator brings: a regular file of exactly the table's
// size, looked at before a byte of it is read. The one reader of table files,
// for the updater and for voren-glyphs alike.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/files.h"

namespace voren {

struct FontFile {
  std::vector<std::uint8_t> bytes;  // the whole table
  FileIdentity identity;            // so no other role takes the same file
};

// The table, or nothing and one line naming the file and what it is:
// "font file 'x.bin': a named pipe, not a font of 36864 bytes".
std::optional<FontFile> readFontFile(const std::string& path, std::string& error);

}  // namespace voren
