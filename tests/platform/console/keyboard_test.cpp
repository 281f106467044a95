#include "platform/console/keyboard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "tests/support/scripted_console.h"

namespace voren {
namespace {

using test::ScriptedConsole;
using Read = Keyboard::NumberRead;

struct NumberCase {
  std::string typed;
  std::int64_t value;
  std::string echo;
  int heldBack;  // the key the next readKey gives
};

class NumberForms : public ::testing::TestWithParam<NumberCase> {};

TEST_P(NumberForms, ConvertEchoAndHoldBackTheEndingKey) {
  const auto& c = GetParam();
  ScriptedConsole console;
  console.type(c.typed);
  console.type("z");
  Keyboard keyboard(console);
  std::int64_t value = -1;
  ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_EQ(value, c.value);
  EXPECT_EQ(console.output(), c.echo);
  EXPECT_EQ(keyboard.readKey(), c.heldBack);
  // The held-back key comes back once, unechoed; then the console's keys.
  EXPECT_EQ(keyboard.readKey(), 'z');
  EXPECT_EQ(console.output(), c.echo);
}

INSTANTIATE_TEST_SUITE_P(
    Keyboard, NumberForms,
    ::testing::Values(NumberCase{"3\n", 3, "3\r\n", 13}, NumberCase{"259\n", 259, "259\r\n", 13},
                      NumberCase{"010\n", 8, "010\r\n", 13},
                      NumberCase{"0x0A\n", 10, "0x0A\r\n", 13},
                      NumberCase{"0XfF ", 255, "0XfF ", ' '}, NumberCase{"-3\n", -3, "-3\r\n", 13},
                      NumberCase{"+7\t", 7, "+7\t", '\t'},
                      NumberCase{" \t\n\n42\n", 42, " \t\r\n\r\n42\r\n", 13},
                      // Octal stops at 8, hexadecimal at g, decimal at a.
                      NumberCase{"08", 0, "08", '8'}, NumberCase{"0x1g", 1, "0x1g", 'g'},
                      NumberCase{"12a", 12, "12a", 'a'}, NumberCase{"0\n", 0, "0\r\n", 13}));

TEST(Keyboard, NonNumbersHoldBackTheOffendingKey) {
  for (const auto& [typed, echo, heldBack] : {std::tuple{"a", "a", 'a'},
                                              {"\n\nq", "\r\n\r\nq", 'q'},
                                              {"-x", "-x", 'x'},
                                              {"+\n", "+\r\n", '\r'},
                                              {"0xg", "0xg", 'g'},
                                              {"- 5", "- ", ' '}}) {
    SCOPED_TRACE(typed);
    ScriptedConsole console;
    console.type(typed);
    Keyboard keyboard(console);
    std::int64_t value = 77;
    EXPECT_EQ(keyboard.readNumber(value), Read::NotANumber);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(console.output(), echo);
    EXPECT_TRUE(keyboard.keyWaiting());
    EXPECT_EQ(keyboard.readKey(), heldBack);
  }
}

TEST(Keyboard, AHeldBackKeyIsReadAgainWithoutASecondEcho) {
  // The dialogue after "ab": each letter stops a read, is taken away, and
  // the next read meets the next letter.
  ScriptedConsole console;
  console.type("3ab7\n");
  Keyboard keyboard(console);
  std::int64_t value = 0;
  ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(keyboard.readNumber(value), Read::NotANumber);  // meets the held-back a
  EXPECT_EQ(keyboard.readKey(), 'a');
  EXPECT_EQ(keyboard.readNumber(value), Read::NotANumber);
  EXPECT_EQ(keyboard.readKey(), 'b');
  ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_EQ(value, 7);
  EXPECT_EQ(console.output(), "3ab7\r\n");
}

TEST(Keyboard, EndOfInput) {
  for (const char* typed : {"", "  \n", "-", "0x"}) {
    SCOPED_TRACE(typed);
    ScriptedConsole console;
    console.type(typed);
    Keyboard keyboard(console);
    std::int64_t value = 77;
    EXPECT_EQ(keyboard.readNumber(value), Read::EndOfInput);
    EXPECT_EQ(value, 77);
    EXPECT_EQ(keyboard.readKey(), std::nullopt);
  }
  // Digits already typed still make a number.
  ScriptedConsole console;
  console.type("42");
  Keyboard keyboard(console);
  std::int64_t value = 0;
  EXPECT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(keyboard.readKey(), std::nullopt);
  EXPECT_EQ(keyboard.readNumber(value), Read::EndOfInput);
}

TEST(Keyboard, HugeNumbersSaturate) {
  constexpr auto max = std::numeric_limits<std::int64_t>::max();
  constexpr auto min = std::numeric_limits<std::int64_t>::min();
  for (const auto& [typed, expected] : {std::pair{"9223372036854775807 ", max},
                                        {"9223372036854775808 ", max},
                                        {"99999999999999999999999999999999999999 ", max},
                                        {"-9223372036854775807 ", min + 1},
                                        {"-9223372036854775808 ", min},
                                        {"-9223372036854775809 ", min},
                                        {"0x10000000000000000 ", max},
                                        {"07777777777777777777777777 ", max}}) {
    SCOPED_TRACE(typed);
    ScriptedConsole console;
    console.type(typed);
    Keyboard keyboard(console);
    std::int64_t value = 0;
    ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(console.output(), typed);
    EXPECT_EQ(keyboard.readKey(), ' ');
  }
}

TEST(Keyboard, TwoCodeKeysAreHeldBackWholeAndNeverEchoed) {
  ScriptedConsole console;
  console.press({224, 72});  // up arrow at the prompt
  console.type("5");
  console.press({0, 59});  // F1 ends the number
  Keyboard keyboard(console);
  std::int64_t value = 0;
  EXPECT_EQ(keyboard.readNumber(value), Read::NotANumber);
  EXPECT_EQ(keyboard.readKey(), 224);
  // The arrow's second code belongs to the key just taken away.
  ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(console.output(), "5");
  EXPECT_EQ(keyboard.readKey(), 0);
  EXPECT_EQ(keyboard.readKey(), 59);
  EXPECT_EQ(keyboard.readKey(), std::nullopt);
}

TEST(Keyboard, KeyWaitingAsksTheConsoleOnlyWithoutAHeldBackKey) {
  ScriptedConsole console;
  console.type("1\n");
  console.answerKeyWaiting({false, true});
  Keyboard keyboard(console);
  std::int64_t value = 0;
  ASSERT_EQ(keyboard.readNumber(value), Read::Converted);
  EXPECT_TRUE(keyboard.keyWaiting());
  EXPECT_EQ(console.keyWaitingCalls(), 0);
  EXPECT_EQ(keyboard.readKey(), 13);
  EXPECT_FALSE(keyboard.keyWaiting());
  EXPECT_TRUE(keyboard.keyWaiting());
  EXPECT_EQ(console.keyWaitingCalls(), 2);
}

}  // namespace
}  // namespace voren
