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
  // NotANumber when the first key cannot start a number (it is held back).
  NumberRead readNumber(std::int64_t& value);
  // The held-back key if there is one, else the next key, without echo.
  std::optional<int> readKey();
  // A held-back key, or a key press waiting in the console.
  bool keyWaiting();

 private:
  Console& console_;
  std::optional<int> heldBack_;
};

}  // namespace voren
