#pragma once
// The console as the updater sees it: the Windows console API on Windows, a
// POSIX terminal (raw mode, ANSI sequences) elsewhere. Columns and rows count
// from 1 at the top left of the window.
#include <optional>
#include <string_view>

namespace voren {

struct CursorPosition {
  int column = 1;
  int row = 1;
};

class Console {
 public:
  virtual ~Console() = default;

  // Fill the window with blanks and put the cursor at column 1, row 1.
  virtual void clear() = 0;
  // Put text on the screen at once, unbuffered.
  virtual void write(std::string_view text) = 0;
  // Wait for one key and return it without echo; std::nullopt at end of input.
  // Keys that yield no character (function, cursor, editing keys) come as two
  // codes, 0 or 224 first, as on the Windows console.
  virtual std::optional<int> readKey() = 0;
  // True when a key press that yields a character or a key code is waiting.
  // Consumes nothing; Shift, Ctrl, Alt and the lock keys alone do not count.
  // Also true once the input has ended, so that a wait for a key ends too.
  virtual bool keyWaiting() = 0;
  // Where the cursor is, or std::nullopt when no terminal can answer.
  virtual std::optional<CursorPosition> cursor() = 0;
  virtual void moveCursor(CursorPosition position) = 0;
};

// The process's own console. The first call sets the terminal up; the
// terminal is put back on every way out of the process.
Console& systemConsole();

}  // namespace voren
