#include "app/screen_text.h"

namespace voren {

std::string screenText(std::string_view utf8) {
  std::string shown;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte <= 0xBF) continue;  // the rest of a character already shown
    shown += byte >= 0x20 && byte < 0x7F ? c : '?';
  }
  return shown;
}

}  // namespace voren
