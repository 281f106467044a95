#include "platform/keyboard.h"

#include <limits>
#include <string>

namespace voren {
namespace {

constexpr int kEnter = 13;

bool isExtensionPrefix(int code) { return code == 0 || code == 224; }

bool isBlank(int code) { return code == ' ' || code == '\t' || code == kEnter || code == '\n'; }

// The digit's value in any base up to 16, or 16 when the key is no digit.
int digitValue(int code) {
  if (code >= '0' && code <= '9') return code - '0';
  if (code >= 'a' && code <= 'f') return code - 'a' + 10;
  if (code >= 'A' && code <= 'F') return code - 'A' + 10;
  return 16;
}

void echo(Console& console, int code) {
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

std::optional<Keyboard::Key> Keyboard::takeKey() {
  if (heldBack_) {
    Key key{*heldBack_, heldExtension_, false};
    heldBack_.reset();
    heldExtension_.reset();
    return key;
  }
  // The rest of a two-code key whose first code the caller has taken.
  heldExtension_.reset();
  const auto code = console_.readKey();
  if (!code) return std::nullopt;
  Key key{*code, std::nullopt, true};
  if (isExtensionPrefix(*code)) key.extension = console_.readKey();
  return key;
}

std::optional<Keyboard::Key> Keyboard::nextEchoed() {
  auto key = takeKey();
  if (key && key->fresh && !isExtensionPrefix(key->code)) echo(console_, key->code);
  return key;
}

void Keyboard::holdBack(const Key& key) {
  heldBack_ = key.code;
  heldExtension_ = isExtensionPrefix(key.code) ? key.extension : std::nullopt;
}

Keyboard::NumberRead Keyboard::readNumber(std::int64_t& value) {
  auto key = nextEchoed();
  while (key && isBlank(key->code)) key = nextEchoed();
  if (!key) return NumberRead::EndOfInput;

  const bool negative = key->code == '-';
  if (key->code == '-' || key->code == '+') {
    key = nextEchoed();
    if (!key) return NumberRead::EndOfInput;
  }

  int base = 10;
  bool digits = false;
  if (key->code == '0') {
    digits = true;
    base = 8;
    key = nextEchoed();
    if (key && (key->code == 'x' || key->code == 'X')) {
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
  while (key && !isExtensionPrefix(key->code) && digitValue(key->code) < base) {
    const auto digit = static_cast<std::uint64_t>(digitValue(key->code));
    magnitude = magnitude > (limit - digit) / static_cast<std::uint64_t>(base)
                    ? limit
                    : magnitude * static_cast<std::uint64_t>(base) + digit;
    digits = true;
    key = nextEchoed();
  }

  if (key) holdBack(*key);
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
  if (heldBack_) {
    const int code = *heldBack_;
    heldBack_.reset();
    return code;
  }
  if (heldExtension_) {
    const int code = *heldExtension_;
    heldExtension_.reset();
    return code;
  }
  return console_.readKey();
}

bool Keyboard::keyWaiting() { return heldBack_ || heldExtension_ || console_.keyWaiting(); }

}  // namespace voren
