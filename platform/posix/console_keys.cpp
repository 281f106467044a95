#include "platform/posix/console_keys.h"

#include <charconv>

namespace voren::posix {
namespace {

constexpr char kEscape = 0x1b;
constexpr int kExtended = 224;  // grey cursor and editing keys
constexpr int kFunction = 0;    // F1 to F12

TerminalInput keyOf(std::size_t length, Key key) {
  TerminalInput input;
  input.kind = TerminalInput::Kind::Key;
  input.length = length;
  input.key = key;
  return input;
}

TerminalInput key(std::size_t length, int first, int second) {
  return keyOf(length, {first, second});
}

TerminalInput single(std::size_t length, int code) { return keyOf(length, {code, std::nullopt}); }

TerminalInput ignored(std::size_t length) {
  TerminalInput input;
  input.length = length;
  return input;
}

TerminalInput needMore() {
  TerminalInput input;
  input.kind = TerminalInput::Kind::NeedMore;
  return input;
}

// The key a final byte names: ESC [ A, ESC O P and the like.
TerminalInput byFinal(std::size_t length, char final) {
  switch (final) {
    case 'A':
      return key(length, kExtended, 72);  // up
    case 'B':
      return key(length, kExtended, 80);  // down
    case 'C':
      return key(length, kExtended, 77);  // right
    case 'D':
      return key(length, kExtended, 75);  // left
    case 'H':
      return key(length, kExtended, 71);  // home
    case 'F':
      return key(length, kExtended, 79);  // end
    case 'P':
      return key(length, kFunction, 59);  // F1
    case 'Q':
      return key(length, kFunction, 60);
    case 'R':
      return key(length, kFunction, 61);
    case 'S':
      return key(length, kFunction, 62);  // F4
    default:
      return ignored(length);
  }
}

// The key an ESC [ n ~ sequence names.
TerminalInput byNumber(std::size_t length, int number) {
  if (number >= 11 && number <= 15) return key(length, kFunction, 59 + number - 11);  // F1-F5
  if (number >= 17 && number <= 21) return key(length, kFunction, 64 + number - 17);  // F6-F10
  switch (number) {
    case 1:
    case 7:
      return key(length, kExtended, 71);  // home
    case 2:
      return key(length, kExtended, 82);  // insert
    case 3:
      return key(length, kExtended, 83);  // delete
    case 4:
    case 8:
      return key(length, kExtended, 79);  // end
    case 5:
      return key(length, kExtended, 73);  // page up
    case 6:
      return key(length, kExtended, 81);  // page down
    case 23:
      return key(length, kFunction, 87);  // F11: no enhanced-key flag on Windows either
    case 24:
      return key(length, kFunction, 88);  // F12
    default:
      return ignored(length);
  }
}

// ESC [ parameters final.
TerminalInput controlSequence(std::string_view bytes, bool moreMayCome) {
  std::size_t end = 2;
  while (end < bytes.size() && bytes[end] >= 0x20 && bytes[end] <= 0x3f) ++end;
  if (end == bytes.size()) return moreMayCome ? needMore() : single(1, 27);
  const char final = bytes[end];
  if (final < 0x40 || final > 0x7e) return single(1, 27);  // not a sequence after all
  const std::size_t length = end + 1;
  const char* parameters = bytes.data() + 2;
  const char* parametersEnd = bytes.data() + end;

  // The first number names the key; a second one (";5" for Ctrl and the
  // like) only says which modifier was held, and the key stays the same.
  int first = 0;
  const auto [afterFirst, firstError] = std::from_chars(parameters, parametersEnd, first);
  const bool hasFirst = firstError == std::errc();

  if (final == 'R' && hasFirst && afterFirst != parametersEnd && *afterFirst == ';') {
    int second = 0;
    const auto [afterSecond, secondError] = std::from_chars(afterFirst + 1, parametersEnd, second);
    if (secondError == std::errc() && afterSecond == parametersEnd) {
      TerminalInput report;
      report.kind = TerminalInput::Kind::CursorReport;
      report.length = length;
      report.position = {second, first};
      return report;
    }
  }
  if (final == '~') return hasFirst ? byNumber(length, first) : ignored(length);
  return byFinal(length, final);
}

}  // namespace

TerminalInput decodeTerminalInput(std::string_view bytes, bool moreMayCome) {
  const auto first = static_cast<unsigned char>(bytes[0]);
  if (first == '\n' || first == '\r') return single(1, 13);
  if (first == 127) return single(1, 8);
  if (first != kEscape) return single(1, first);
  if (bytes.size() == 1) return moreMayCome ? needMore() : single(1, 27);
  if (bytes[1] == '[') return controlSequence(bytes, moreMayCome);
  if (bytes[1] == 'O') {
    if (bytes.size() == 2) return moreMayCome ? needMore() : single(1, 27);
    return byFinal(3, bytes[2]);
  }
  // Escape followed by anything else is the Escape key, then that key.
  return single(1, 27);
}

}  // namespace voren::posix
