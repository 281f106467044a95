#pragma once
// Turns the bytes a terminal sends into keys as the Windows console gives
// them: every other byte a character key of its own code, Enter as 13,
// Backspace as 8, cursor and editing keys as 224 and a scan code, F1 to F10
// as 0 and a scan code. A character of several bytes (UTF-8) is that many
// character keys.
#include <cstddef>
#include <string_view>

#include "platform/console.h"

namespace voren::posix {

struct TerminalInput {
  enum class Kind {
    Key,           // key is one key
    CursorReport,  // the terminal's answer to a cursor position query
    Ignored,       // a sequence that is no key we know
    NeedMore,      // the start of a sequence; more bytes may complete it
  };
  Kind kind = Kind::Ignored;
  std::size_t length = 0;  // bytes taken
  Key key;
  CursorPosition position;
};

// Decodes the first key or report at the start of bytes (not empty). With
// moreMayCome false an unfinished sequence is taken as a lone Escape key.
TerminalInput decodeTerminalInput(std::string_view bytes, bool moreMayCome);

}  // namespace voren::posix
