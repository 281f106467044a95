#pragma once
// The code page update from the operator's side: banner, port question,
// upload with its progress line, end report, key wait.
#include <cstdint>
#include <optional>
#include <string>

#include "app/glyph_table.h"

namespace voren {

class Console;
class Keyboard;

// A port chosen before the program starts, and how the texts name it:
// "COM3", or the device given for it.
struct PortChoice {
  std::uint8_t number = 1;
  std::string name;
};

// What the command line may change; the defaults are the operator's dialogue.
struct UpdateSettings {
  GlyphTableView table{glyphTable()};
  // Unattended: this port without asking, and no key wait at the end.
  std::optional<PortChoice> port;
};

// The whole program; returns the exit status: 0 after a successful upload,
// 1 on every other way out.
int AktualizacjaStronyKodowej(Console& console, Keyboard& keyboard,
                              const UpdateSettings& settings = {});

}  // namespace voren
