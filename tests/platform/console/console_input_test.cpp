// The Windows console's own input: records written into it as the keyboard
// would, then read through the console as the updater reads them.
#include <gtest/gtest.h>
#include <windows.h>

#include <initializer_list>

#include "platform/console/console.h"

namespace voren {
namespace {

INPUT_RECORD keyEvent(bool down, WORD key, WORD scan, char character, DWORD state = 0) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  KEY_EVENT_RECORD& event = record.Event.KeyEvent;
  event.bKeyDown = down;
  event.wRepeatCount = 1;
  event.wVirtualKeyCode = key;
  event.wVirtualScanCode = scan;
  event.uChar.AsciiChar = character;
  event.dwControlKeyState = state;
  return record;
}

INPUT_RECORD focusEvent() {
  INPUT_RECORD record{};
  record.EventType = FOCUS_EVENT;
  record.Event.FocusEvent.bSetFocus = TRUE;
  return record;
}

class ConsoleInput : public ::testing::Test {
 protected:
  void SetUp() override {
    // Under ctest there is no console to inherit: make one (this fails
    // harmlessly when there is one). The console takes its handles on first
    // use.
    AllocConsole();
    input_ = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
    output_ = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD mode = 0;
    if (input_ == INVALID_HANDLE_VALUE || !GetConsoleMode(input_, &mode)) {
      // Wine gives a console only to a program started on a terminal:
      // windows_console_wine_test runs this one in a tmux pane.
      GTEST_SKIP() << "no console input to write into here";
    }
    SetStdHandle(STD_INPUT_HANDLE, input_);
    SetStdHandle(STD_OUTPUT_HANDLE, output_);
    FlushConsoleInputBuffer(input_);
  }

  void feed(std::initializer_list<INPUT_RECORD> records) {
    DWORD written = 0;
    ASSERT_TRUE(
        WriteConsoleInputA(input_, records.begin(), static_cast<DWORD>(records.size()), &written));
    ASSERT_EQ(written, records.size());
  }

  DWORD pending() {
    DWORD count = 0;
    GetNumberOfConsoleInputEvents(input_, &count);
    return count;
  }

  HANDLE input_ = INVALID_HANDLE_VALUE;
  HANDLE output_ = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleInput, OnlyPressesThatYieldAKeyCountAndNothingIsTaken) {
  Console& console = systemConsole();
  // A release, presses that yield nothing (Pause, a media key, the IME's
  // process key, Shift alone) and a focus change.
  feed({keyEvent(false, 'A', 30, 'a'), keyEvent(true, VK_PAUSE, 69, 0),
        keyEvent(true, VK_VOLUME_UP, 48, 0, ENHANCED_KEY), keyEvent(true, VK_PROCESSKEY, 0, 0),
        keyEvent(true, VK_SHIFT, 42, 0), focusEvent()});
  EXPECT_FALSE(console.keyWaiting());
  EXPECT_EQ(pending(), 6u) << "the key test took records away";

  // A cursor key behind them counts, and readKey passes over the rest to it.
  feed({keyEvent(true, VK_UP, 72, 0, ENHANCED_KEY)});
  EXPECT_TRUE(console.keyWaiting());
  EXPECT_EQ(pending(), 7u);
  EXPECT_EQ(console.readKey(), (Key{224, 72}));
  EXPECT_FALSE(console.keyWaiting());

  // A character whose code is 224 (O with acute in code page 852) is one key.
  feed({keyEvent(true, 'O', 24, '\xe0'), keyEvent(true, '3', 4, '3')});
  EXPECT_TRUE(console.keyWaiting());
  EXPECT_EQ(console.readKey(), (Key{224, std::nullopt}));
  EXPECT_EQ(console.readKey(), (Key{'3', std::nullopt}));
}

}  // namespace
}  // namespace voren
