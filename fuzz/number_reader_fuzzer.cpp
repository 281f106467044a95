// The "%i" reader on arbitrary keys: one character key per input byte, but
// 0xfe and 0xff followed by a byte are a function key (0, byte) and a cursor
// key (224, byte), as the Windows console gives them. Checks what the dialogue
// relies on: no key is lost or read twice, a converted number agrees with
// the C library's reading of the same keys and was echoed as typed, and the
// dialogue's loop (read, take away a key that is no number, ask again)
// comes to the end of the keys.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/console/keyboard.h"
#include "tests/support/scripted_console.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "number reader fuzzer: %s\n", what);
  std::abort();
}

// The console with the keys of data; keys gets their codes, in the order
// readKey hands them out.
voren::test::ScriptedConsole consoleWith(const std::vector<int>& data, std::vector<int>& keys) {
  voren::test::ScriptedConsole console;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if ((data[i] == 0xfe || data[i] == 0xff) && i + 1 < data.size()) {
      const int prefix = data[i] == 0xfe ? 0 : 224;
      console.press({prefix, data[++i]});
      keys.insert(keys.end(), {prefix, data[i]});
    } else {
      console.press({data[i], std::nullopt});
      keys.push_back(data[i]);
    }
  }
  return console;
}

void checkOneRead(const std::vector<int>& data) {
  std::vector<int> keys;
  auto console = consoleWith(data, keys);
  voren::Keyboard keyboard(console);
  std::int64_t value = 0;
  const auto result = keyboard.readNumber(value);

  // Whatever the reader did not use comes back, in order, from readKey.
  std::vector<int> rest;
  while (auto key = keyboard.readKey()) rest.push_back(*key);
  require(rest.size() <= keys.size(), "more keys came back than were typed");
  const std::size_t used = keys.size() - rest.size();
  require(std::equal(rest.begin(), rest.end(), keys.begin() + static_cast<long>(used)),
          "keys lost or repeated");

  using Read = voren::Keyboard::NumberRead;
  if (result == Read::EndOfInput) require(rest.empty(), "end of input with keys left");
  if (result == Read::NotANumber) require(!rest.empty(), "no number, and no key held back");
  if (result != Read::Converted) return;

  // The keys used are blanks, a sign and digits; the C library reads them
  // as one number, all of it, with the same value (saturated alike).
  std::string text;
  for (std::size_t i = 0; i < used; ++i) text += static_cast<char>(keys[i]);
  char* end = nullptr;
  errno = 0;
  const long long expected = std::strtoll(text.c_str(), &end, 0);
  require(end == text.c_str() + text.size(), "converted keys are not one number");
  require(expected == value, "value differs from strtoll");

  // Echoed as typed, Enter as a line break, a bare line feed not at all;
  // then the echo of the key that ended the number, if any.
  std::string echo;
  for (char c : text) {
    if (c == '\r') {
      echo += "\r\n";
    } else if (c != '\n') {
      echo += c;
    }
  }
  const std::string& shown = console.output();
  require(shown.compare(0, echo.size(), echo) == 0 && shown.size() <= echo.size() + 2,
          "echo differs from the keys used");
}

void checkDialogueLoop(const std::vector<int>& data) {
  std::vector<int> keys;
  auto console = consoleWith(data, keys);
  voren::Keyboard keyboard(console);
  // Every pass uses at least one key, so the keys run out in time.
  for (std::size_t pass = 0; pass <= keys.size(); ++pass) {
    std::int64_t value = 0;
    const auto result = keyboard.readNumber(value);
    if (result == voren::Keyboard::NumberRead::EndOfInput) return;
    if (!keyboard.readKey()) return;
  }
  require(false, "the prompt loop did not come to the end of the keys");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<int> keys(data, data + size);
  checkOneRead(keys);
  checkDialogueLoop(keys);
  return 0;
}
