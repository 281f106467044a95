#include "tests/support/scripted_console.h"

#include <gtest/gtest.h>

namespace voren::test {
namespace {

using Lines = std::vector<std::string>;

TEST(ScriptedConsole, ModelsLineBreaksAndRewritesInPlace) {
  ScriptedConsole console;
  console.write("Podaj: 3\r\n\n\nTrwa: 0%");
  const auto at = console.cursor();
  ASSERT_TRUE(at);
  EXPECT_EQ(at->column, 9);
  EXPECT_EQ(at->row, 4);
  for (const char* percent : {"1%", "50%", "100%"}) {
    console.moveToColumn(at->column - 2);
    console.write(percent);
  }
  console.write("\n\nKoniec");
  EXPECT_EQ(console.lines(), (Lines{"Podaj: 3", "", "", "Trwa: 100%", "", "Koniec"}));
  EXPECT_EQ(console.cursorPosition().column, 7);
  console.write("\rX");
  EXPECT_EQ(console.row(6), "Xoniec");
}

TEST(ScriptedConsole, WrapsAtTheEdgeAndScrollsAtTheBottom) {
  ScriptedConsole console({.width = 4, .height = 3});
  console.write("abcdef\n1\n2\n3");
  EXPECT_EQ(console.lines(), (Lines{"abcd", "ef", "1", "2", "3"}));
  EXPECT_EQ(console.row(1), "1");
  EXPECT_EQ(console.cursorPosition().row, 3);
  // Taller: lines come back from the scroll-back; shorter: the cursor's
  // line stays in the window.
  console.resize(5);
  EXPECT_EQ(console.row(1), "abcd");
  EXPECT_EQ(console.cursorPosition().row, 5);
  console.resize(2);
  EXPECT_EQ(console.row(1), "2");
  EXPECT_EQ(console.cursorPosition().row, 2);
  console.resize(3);
  console.clear();
  EXPECT_EQ(console.row(3), "");
  EXPECT_EQ(console.cursorPosition().row, 1);
  EXPECT_EQ(console.lines(), (Lines{"abcd", "ef", "", "", ""}));
  EXPECT_EQ(console.clears(), 1);
}

TEST(ScriptedConsole, WithoutATerminalTheCursorIsUnknownAndStays) {
  ScriptedConsole console({.terminal = false});
  console.write("0%");
  EXPECT_EQ(console.cursor(), std::nullopt);
  console.moveToColumn(1);
  console.write("1%");
  EXPECT_EQ(console.lines(), (Lines{"0%1%"}));
  EXPECT_EQ(console.cursorMoves(), 1);
  EXPECT_EQ(console.cursorQueries(), 1);
}

TEST(ScriptedConsole, KeysRunOutIntoEndOfInput) {
  ScriptedConsole console;
  console.type("a\n");
  console.press({224, 75});
  console.answerKeyWaiting({false});
  EXPECT_FALSE(console.keyWaiting());
  EXPECT_TRUE(console.keyWaiting());
  EXPECT_EQ(console.readKey(), (Key{'a', std::nullopt}));
  EXPECT_EQ(console.readKey(), (Key{13, std::nullopt}));
  EXPECT_EQ(console.readKey(), (Key{224, 75}));
  EXPECT_EQ(console.keysLeft(), 0u);
  EXPECT_EQ(console.readKey(), std::nullopt);
  EXPECT_EQ(console.readKey(), std::nullopt);
}

}  // namespace
}  // namespace voren::test
