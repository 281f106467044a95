// The console on Windows: the console API when standard input or output is
// a console, plain file reads and writes when it is redirected.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <vector>

#include "platform/console/console.h"
#include "platform/files/standard_output.h"

namespace voren {
namespace {

constexpr int kExtended = 224;  // grey cursor and editing keys
constexpr int kFunction = 0;    // F keys and the keypad

// Input mode as it was, put back on every way out.
struct ConsoleModeState {
  HANDLE input = INVALID_HANDLE_VALUE;
  DWORD saved = 0;
  volatile LONG changed = 0;
};
ConsoleModeState modeState;

void restoreConsoleMode() {
  if (InterlockedExchange(&modeState.changed, 0) != 0) {
    SetConsoleMode(modeState.input, modeState.saved);
  }
}

void restoreAtExit() { restoreConsoleMode(); }

// Runs on a thread of its own; the default handler then ends the process.
BOOL WINAPI onControl(DWORD) {
  restoreConsoleMode();
  return FALSE;
}

// Keys are read as events, so line editing and echo go; Ctrl-C stays a
// signal. Quick edit goes too: a mouse selection would freeze every write
// of the upload until it ends.
void enterKeyMode(HANDLE input) {
  DWORD mode = 0;
  if (!GetConsoleMode(input, &mode)) return;
  modeState.input = input;
  modeState.saved = mode;
  SetConsoleCtrlHandler(onControl, TRUE);
  std::atexit(restoreAtExit);
  const DWORD keyMode =
      (mode | ENABLE_PROCESSED_INPUT | ENABLE_EXTENDED_FLAGS) &
      ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT | ENABLE_QUICK_EDIT_MODE);
  if (SetConsoleMode(input, keyMode)) InterlockedExchange(&modeState.changed, 1);
}

// The keys that yield a key code though no character: the function keys and
// the cursor and editing keys, grey or on the keypad. Pause, media and
// browser keys, the IME's process key and the modifiers yield nothing.
bool yieldsKeyCode(WORD key) {
  switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
    case VK_END:
    case VK_HOME:
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN:
    case VK_INSERT:
    case VK_DELETE:
    case VK_CLEAR:  // keypad 5 without Num Lock
      return true;
    default:
      return key >= VK_F1 && key <= VK_F12;
  }
}

// A key press that yields a character or a key code.
bool isKeyPress(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT) return false;
  const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
  return key.bKeyDown && (key.uChar.AsciiChar != 0 || yieldsKeyCode(key.wVirtualKeyCode));
}

class WindowsConsole final : public Console {
 public:
  WindowsConsole()
      : input_(GetStdHandle(STD_INPUT_HANDLE)), output_(GetStdHandle(STD_OUTPUT_HANDLE)) {
    DWORD mode = 0;
    inputIsConsole_ = GetConsoleMode(input_, &mode) != 0;
    outputIsConsole_ = GetConsoleMode(output_, &mode) != 0;
    if (inputIsConsole_) enterKeyMode(input_);
    lastSize_ = windowSize();
  }

  void clear() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return;
    const SMALL_RECT window = info.srWindow;
    const auto width = static_cast<DWORD>(window.Right - window.Left + 1);
    for (SHORT row = window.Top; row <= window.Bottom; ++row) {
      DWORD written = 0;
      const COORD start{window.Left, row};
      FillConsoleOutputCharacterA(output_, ' ', width, start, &written);
      FillConsoleOutputAttribute(output_, info.wAttributes, width, start, &written);
    }
    SetConsoleCursorPosition(output_, COORD{window.Left, window.Top});
  }

  // Output that fails (a reader gone, a full disk) is no reason to stop: the
  // program tells it at its end.
  void write(std::string_view text) override { writeStandardOutput(text); }

  std::optional<Key> readKey() override {
    if (!keys_.empty()) return takeKey();
    if (!inputIsConsole_) return readRedirected();
    for (;;) {
      INPUT_RECORD record;
      DWORD read = 0;
      if (!ReadConsoleInputA(input_, &record, 1, &read)) return std::nullopt;
      if (read == 1 && isKeyPress(record)) {
        queueKey(record.Event.KeyEvent);
        return takeKey();
      }
    }
  }

  // Looks without taking: releases and other records stay for readKey to
  // pass over (or, with Alt and the keypad, to find a character in).
  bool keyWaiting() override {
    if (!keys_.empty() || ended_) return true;
    if (!inputIsConsole_) return redirectedInputWaiting();
    DWORD pending = 0;
    if (!GetNumberOfConsoleInputEvents(input_, &pending)) return true;  // the wait cannot block
    if (pending == 0) return false;
    std::vector<INPUT_RECORD> records(pending);
    DWORD count = 0;
    if (!PeekConsoleInputA(input_, records.data(), pending, &count)) return true;
    return std::any_of(records.begin(), records.begin() + count, isKeyPress);
  }

  std::optional<CursorPosition> cursor() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return std::nullopt;
    return CursorPosition{info.dwCursorPosition.X - info.srWindow.Left + 1,
                          info.dwCursorPosition.Y - info.srWindow.Top + 1};
  }

  // The row is the cursor's own in the screen buffer, read each time: the
  // window may have scrolled or changed size since the last call.
  void moveToColumn(int column) override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return;
    SetConsoleCursorPosition(output_, COORD{static_cast<SHORT>(info.srWindow.Left + column - 1),
                                            info.dwCursorPosition.Y});
  }

  void moveRows(int rows) override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return;
    const int row = std::clamp(info.dwCursorPosition.Y + rows, 0, info.dwSize.Y - 1);
    SetConsoleCursorPosition(output_, COORD{info.dwCursorPosition.X, static_cast<SHORT>(row)});
  }

  std::optional<WindowSize> windowSize() override {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!outputIsConsole_ || !GetConsoleScreenBufferInfo(output_, &info)) return std::nullopt;
    return WindowSize{info.srWindow.Right - info.srWindow.Left + 1,
                      info.srWindow.Bottom - info.srWindow.Top + 1};
  }

  // No signal tells a console program of a resize, and it is not stopped:
  // the size is looked at on each call.
  unsigned windowChanges() override {
    const auto now = windowSize();
    if (now != lastSize_) ++sizeChanges_;
    lastSize_ = now;
    return sizeChanges_;
  }

 private:
  Key takeKey() {
    const Key key = keys_.front();
    keys_.pop_front();
    return key;
  }

  void queueKey(const KEY_EVENT_RECORD& key) {
    const int repeats = key.wRepeatCount > 0 ? key.wRepeatCount : 1;
    for (int i = 0; i < repeats; ++i) {
      if (key.uChar.AsciiChar != 0) {
        keys_.push_back({static_cast<unsigned char>(key.uChar.AsciiChar), std::nullopt});
      } else {
        keys_.push_back({(key.dwControlKeyState & ENHANCED_KEY) != 0 ? kExtended : kFunction,
                         key.wVirtualScanCode});
      }
    }
  }

  std::optional<Key> readRedirected() {
    if (ended_) return std::nullopt;
    char byte = 0;
    DWORD read = 0;
    if (!ReadFile(input_, &byte, 1, &read, nullptr) || read == 0) {
      ended_ = true;
      return std::nullopt;
    }
    // A line end from a file or pipe is Enter, as on the console.
    return Key{byte == '\n' ? 13 : static_cast<unsigned char>(byte), std::nullopt};
  }

  bool redirectedInputWaiting() {
    if (GetFileType(input_) != FILE_TYPE_PIPE) return true;  // a file never blocks
    DWORD available = 0;
    // A broken pipe is the end of input: a read would not block either.
    if (!PeekNamedPipe(input_, nullptr, 0, nullptr, &available, nullptr)) return true;
    return available > 0;
  }

  HANDLE input_;
  HANDLE output_;
  bool inputIsConsole_ = false;
  bool outputIsConsole_ = false;
  bool ended_ = false;
  std::deque<Key> keys_;
  std::optional<WindowSize> lastSize_;
  unsigned sizeChanges_ = 0;
};

}  // namespace

Console& systemConsole() {
  static WindowsConsole console;
  return console;
}

}  // namespace voren
