#include "app/screen_text.h"

namespace voren {

std::string screenText(std::string_view utf8) {
  std::string shown;
  int rest = 0;  // bytes still due to the character shown last
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (rest > 0 && (byte & 0xC0) == 0x80) {
      --rest;
      continue;
    }
    // A stray byte of a character shows as one '?' too, so no name loses a
    // place it holds.
    rest = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    shown += byte >= 0x20 && byte < 0x7F ? c : '?';
  }
  return shown;
}

}  // namespace voren
