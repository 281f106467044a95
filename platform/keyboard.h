#pragma once
// Keyboard input of the operator dialogue over a Console: one held-back key
// and the "%i" number reader, shared by every platform.
#include <cstdint>
#include <optional>

#include "platform/console.h"

namespace voren {

class Keyboard {
 public:
  explicit Keyboard(Console& console) : console_(console) {}

  enum class NumberRead { Converted, NotANumber, EndOfInput };

  // Reads one integer as "%i" does (decimal, 0 octal, 0x hexadecimal, sign,
  // leading blanks, tabs and Enter skipped), key by key, echoing every key
  // read, the one that ends the number included; that key is held back.
  // NotANumber when no digit came: the first key cannot start a number, or a
  // sign or "0x" is not followed by a digit (the offending key is held back).
  // EndOfInput when the input ends before any digit; a number cut short by
  // the end of input still converts. Numbers beyond 64 bits saturate at
  // INT64_MAX or INT64_MIN.
  //
  // Echo: printable keys as themselves, Enter as a line break, other control
  // keys and function or cursor keys not at all. A key read again after it
  // was held back is not echoed a second time.
  NumberRead readNumber(std::int64_t& value);
  // The held-back key if there is one, else the next key, without echo.
  std::optional<int> readKey();
  // A held-back key, or a key press waiting in the console.
  bool keyWaiting();

 private:
  // One key as the reader sees it: a function or cursor key arrives as two
  // codes (0 or 224, then its code) and is held back and skipped as one.
  struct Key {
    int code = 0;
    std::optional<int> extension;
    bool fresh = true;  // read from the console just now, not yet echoed
  };
  std::optional<Key> takeKey();
  std::optional<Key> nextEchoed();
  void holdBack(const Key& key);

  Console& console_;
  std::optional<int> heldBack_;
  // The second code of a held-back two-code key; it stays after readKey has
  // handed out the first.
  std::optional<int> heldExtension_;
};

}  // namespace voren
