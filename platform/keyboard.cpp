#include "platform/keyboard.h"

#include <limits>
#include <string>
#include <utility>

namespace voren {
namespace {

constexpr int kEnter = 13;

// A character key that is c; a two-code key never is, whatever its codes.
bool is(const Key& key, char c) { return !key.extension && key.code == c; }

bool isBlank(const Key& key) {
  return is(key, ' ') || is(key, '\t') || is(key, kEnter) || is(key, '\n');
}

// The digit's value in any base up to 16, or 16 when the key is no digit.
int digitValue(const Key& key) {
  if (key.extension) return 16;
  const int code = key.code;
  if (code >= '0' && code <= '9') return code - '0';
  if (code >= 'a' && code <= 'f') return code - 'a' + 10;
  if (code >= 'A' && code <= 'F') return code - 'A' + 10;
  return 16;
}

void echo(Console& console, const Key& key) {
  if (key.extension) return;  // function and cursor keys show nothing
  const int code = key.code;
  if (code == kEnter) {
    // A line break reads like a line-mode prompt on both consoles and never
    // lets the next key overwrite the question.
    console.write("\r\n");
  } else if ((code >= ' ' && code != 127 && code < 256) || code == '\t') {
    const char c = static_cast<char>(code);
    console.write(std::string_view(&c, 1));
  }
  // Other control keys have nothing to show; raw, ESC would even start a
  // terminal sequence.
}

}  // namespace

std::optional<Keyboard::Taken> Keyboard::takeKey() {
  if (heldBack_) {
    const Taken taken{*heldBack_, false};
    heldBack_.reset();
    return taken;
  }
  // The rest of a two-code key whose first code the caller has taken.
  heldExtension_.reset();
  const auto key = console_.readKey();
  if (!key) return std::nullopt;
  return Taken{*key, true};
}

std::optional<Keyboard::Taken> Keyboard::nextEchoed() {
  auto taken = takeKey();
  if (taken && taken->fresh) echo(console_, taken->key);
  return taken;
}

Keyboard::NumberRead Keyboard::readNumber(std::int64_t& value) {
  auto key = nextEchoed();
  while (key && isBlank(key->key)) key = nextEchoed();
  if (!key) return NumberRead::EndOfInput;

  const bool negative = is(key->key, '-');
  if (is(key->key, '-') || is(key->key, '+')) {
    key = nextEchoed();
    if (!key) return NumberRead::EndOfInput;
  }

  int base = 10;
  bool digits = false;
  if (is(key->key, '0')) {
    digits = true;
    base = 8;
    key = nextEchoed();
    if (key && (is(key->key, 'x') || is(key->key, 'X'))) {
      // "0x" alone is no number: scanf's matching failure, not a zero.
      digits = false;
      base = 16;
      key = nextEchoed();
    }
  }

  // Magnitudes saturate: 2^63 is the most a negative number can use.
  const std::uint64_t limit =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
  std::uint64_t magnitude = 0;
  while (key && digitValue(key->key) < base) {
    const auto digit = static_cast<std::uint64_t>(digitValue(key->key));
    magnitude = magnitude > (limit - digit) / static_cast<std::uint64_t>(base)
                    ? limit
                    : magnitude * static_cast<std::uint64_t>(base) + digit;
    digits = true;
    key = nextEchoed();
  }

  if (key) heldBack_ = key->key;
  if (!digits) return key ? NumberRead::NotANumber : NumberRead::EndOfInput;
  if (!negative) {
    value = static_cast<std::int64_t>(magnitude);
  } else if (magnitude == limit) {
    value = std::numeric_limits<std::int64_t>::min();
  } else {
    value = -static_cast<std::int64_t>(magnitude);
  }
  return NumberRead::Converted;
}

std::optional<int> Keyboard::readKey() {
  if (heldExtension_) {
    const int code = *heldExtension_;
    heldExtension_.reset();
    return code;
  }
  std::optional<Key> key = std::exchange(heldBack_, std::nullopt);
  if (!key) key = console_.readKey();
  if (!key) return std::nullopt;
  heldExtension_ = key->extension;
  return key->code;
}

bool Keyboard::keyWaiting() { return heldBack_ || heldExtension_ || console_.keyWaiting(); }

}  // namespace voren
