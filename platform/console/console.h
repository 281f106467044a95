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

// The window's size in character cells.
struct WindowSize {
  int columns = 80;
  int rows = 25;
  friend bool operator==(const WindowSize&, const WindowSize&) = default;
};

// One key press as the Windows console gives it: a character as its code, or
// a function, cursor or editing key as two codes, 0 or 224 and then the
// key's own code. Only the console can tell them apart: 0 and 224 are
// characters too (224 is an O with acute in code page 852).
struct Key {
  int code = 0;
  std::optional<int> extension;  // the second code of a two-code key
  friend bool operator==(const Key&, const Key&) = default;
};

class Console {
 public:
  virtual ~Console() = default;

  // Fill the window with blanks and put the cursor at column 1, row 1.
  virtual void clear() = 0;
  // Put text on the screen at once, unbuffered.
  virtual void write(std::string_view text) = 0;
  // Wait for one key and return it without echo; std::nullopt at end of input.
  virtual std::optional<Key> readKey() = 0;
  // True when a key press that yields a character or a key code is waiting.
  // Consumes nothing; Shift, Ctrl, Alt and the lock keys alone do not count.
  // Also true once the input has ended, so that a wait for a key ends too.
  virtual bool keyWaiting() = 0;
  // Where the cursor is, or std::nullopt when no terminal can answer.
  virtual std::optional<CursorPosition> cursor() = 0;
  // Put the cursor at a column of the row it is on now. A line rewritten in
  // place stays right when the window scrolls or is resized meanwhile, which
  // a remembered row would not.
  virtual void moveToColumn(int column) = 0;
  // Move the cursor rows down (up when negative) in its column. Relative,
  // so lines kept in place below each other stay right when the window
  // scrolls.
  virtual void moveRows(int rows) = 0;
  // The window's size, or std::nullopt when the output is no console.
  virtual std::optional<WindowSize> windowSize() = 0;
  // A count that moves each time the window may no longer show what was
  // written where it was written: a resize (the terminal may rewrap or cut
  // its lines), or a continue after Ctrl-Z (the shell has written
  // meanwhile). Lines kept in place are drawn again when it has moved.
  virtual unsigned windowChanges() = 0;
};

// The process's own console. The first call sets the terminal up; the
// terminal is put back on every way out of the process.
Console& systemConsole();

}  // namespace voren
