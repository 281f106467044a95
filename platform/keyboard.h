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
  // The held-back key if there is one, else the next key, without echo; a
  // two-code key comes as its two codes, one a call.
  std::optional<int> readKey();
  // A held-back key, or a key press waiting in the console.
  bool keyWaiting();

 private:
  struct Taken {
    Key key;
    bool fresh = true;  // read from the console just now, not yet echoed
  };
  std::optional<Taken> takeKey();
  std::optional<Taken> nextEchoed();

  Console& console_;
  std::optional<Key> heldBack_;
  // The second code of a two-code key whose first code readKey has handed
  // out; the number reader drops it.
  std::optional<int> heldExtension_;
};

}  // namespace voren
