#pragma once
// A glyph table the operator brings: a file of exactly the table's size,
// checked before anything is opened or sent.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace voren {

// The file's bytes, or nothing and a one-line reason naming the file.
std::optional<std::vector<std::uint8_t>> readFontFile(const std::string& path, std::string& error);

}  // namespace voren
