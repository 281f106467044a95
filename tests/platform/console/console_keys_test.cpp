#include "platform/console/posix/console_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace voren::posix {
namespace {

using Kind = TerminalInput::Kind;

// Every key in bytes, as codes, decoded the way the console does once no
// more bytes will come.
std::vector<int> keysOf(std::string bytes) {
  std::vector<int> codes;
  while (!bytes.empty()) {
    const auto input = decodeTerminalInput(bytes, false);
    EXPECT_GT(input.length, 0u);
    if (input.length == 0) break;
    if (input.kind == Kind::Key) {
      codes.push_back(input.key.code);
      if (input.key.extension) codes.push_back(*input.key.extension);
    }
    bytes.erase(0, input.length);
  }
  return codes;
}

TEST(TerminalKeys, CharactersAndLineEnds) {
  EXPECT_EQ(keysOf("a1 \t"), (std::vector<int>{'a', '1', ' ', '\t'}));
  // Enter is CR whether the terminal sends CR or a pipe sends LF;
  // Backspace is 8 as on Windows.
  EXPECT_EQ(keysOf("\r\n\x7f\x08"), (std::vector<int>{13, 13, 8, 8}));
  EXPECT_EQ(keysOf("\xe9\xff"), (std::vector<int>{0xe9, 0xff}));
  // Bytes 0 and 224 are characters, not the start of a two-code key; a
  // character of several UTF-8 bytes is that many keys.
  for (const std::string& byte : {std::string(1, '\0'), std::string("\xe0")}) {
    const auto input = decodeTerminalInput(byte + "3", true);
    EXPECT_EQ(input.key, (Key{static_cast<unsigned char>(byte[0]), std::nullopt}));
    EXPECT_EQ(input.length, 1u);
  }
  EXPECT_EQ(keysOf("\xc3\x93"), (std::vector<int>{0xc3, 0x93}));
  EXPECT_EQ(decodeTerminalInput("\x1b[A", true).key, (Key{224, 72}));
}

TEST(TerminalKeys, CursorEditingAndFunctionKeysAsTheWindowsConsoleGivesThem) {
  EXPECT_EQ(keysOf("\x1b[A\x1b[B\x1b[C\x1b[D"),
            (std::vector<int>{224, 72, 224, 80, 224, 77, 224, 75}));
  EXPECT_EQ(keysOf("\x1bOA\x1bOH\x1b[F\x1b[1~\x1b[4~"),
            (std::vector<int>{224, 72, 224, 71, 224, 79, 224, 71, 224, 79}));
  EXPECT_EQ(keysOf("\x1b[2~\x1b[3~\x1b[5~\x1b[6~"),
            (std::vector<int>{224, 82, 224, 83, 224, 73, 224, 81}));
  EXPECT_EQ(keysOf("\x1bOP\x1bOS\x1b[15~\x1b[17~\x1b[21~\x1b[24~"),
            (std::vector<int>{0, 59, 0, 62, 0, 63, 0, 64, 0, 68, 0, 88}));
  // A modifier does not change which key it is.
  EXPECT_EQ(keysOf("\x1b[1;5C\x1b[3;2~"), (std::vector<int>{224, 77, 224, 83}));
  // Sequences we do not know are dropped whole; Escape before anything else
  // is the Escape key.
  EXPECT_EQ(keysOf("\x1b[200~x\x1b[Zq"), (std::vector<int>{'x', 'q'}));
  EXPECT_EQ(keysOf("\x1bx"), (std::vector<int>{27, 'x'}));
}

TEST(TerminalKeys, UnfinishedSequencesWaitThenCountAsEscape) {
  for (const std::string start : {"\x1b", "\x1b[", "\x1b[1;", "\x1bO"}) {
    SCOPED_TRACE(start.substr(1));
    EXPECT_EQ(decodeTerminalInput(start, true).kind, Kind::NeedMore);
    const auto alone = decodeTerminalInput(start, false);
    EXPECT_EQ(alone.kind, Kind::Key);
    EXPECT_EQ(alone.length, 1u);
    EXPECT_EQ(alone.key, (Key{27, std::nullopt}));
  }
}

TEST(TerminalKeys, CursorReports) {
  const auto report = decodeTerminalInput("\x1b[12;34Rx", true);
  EXPECT_EQ(report.kind, Kind::CursorReport);
  EXPECT_EQ(report.length, 8u);
  EXPECT_EQ(report.position.row, 12);
  EXPECT_EQ(report.position.column, 34);
  // R without a row and column is F3 in some terminals, not a report.
  EXPECT_EQ(decodeTerminalInput("\x1b[R", true).kind, Kind::Key);
  EXPECT_EQ(decodeTerminalInput("\x1b[12;R", true).kind, Kind::Key);
}

}  // namespace
}  // namespace voren::posix
