#pragma once
// UTF-8 text to the bytes that print it with our glyph table, by the
// code-to-character list of the drawings.
#include <string>
#include <string_view>

namespace voren::tools {

// Characters the table lacks become '?'.
std::string toCp852(std::string_view utf8);

}  // namespace voren::tools
