#pragma once
// Turns the bytes a terminal sends into keys as the Windows console gives
// them: characters as their code, Enter as 13, Backspace as 8, cursor and
// editing keys as 224 and a scan code, F1 to F10 as 0 and a scan code.
#include <cstddef>
#include <string_view>

#include "platform/console.h"

namespace voren::posix {

struct TerminalInput {
  enum class Kind {
    Key,           // codes[0..count) is one key
    CursorReport,  // the terminal's answer to a cursor position query
    Ignored,       // a sequence that is no key we know
    NeedMore,      // the start of a sequence; more bytes may complete it
  };
  Kind kind = Kind::Ignored;
  std::size_t length = 0;  // bytes taken
  int codes[2] = {0, 0};
  int count = 0;
  CursorPosition position;
};

// Decodes the first key or report at the start of bytes (not empty). With
// moreMayCome false an unfinished sequence is taken as a lone Escape key.
TerminalInput decodeTerminalInput(std::string_view bytes, bool moreMayCome);

}  // namespace voren::posix
