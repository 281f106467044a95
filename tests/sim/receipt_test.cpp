// The receipt the simulator prints with the font it was sent.
#include "sim/receipt.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "app/glyph_table.h"
#include "sim/printer.h"
#include "tests/support/temp_dir.h"

namespace voren::sim {
namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(Receipt, ShowsEveryPolishLetterInBothWidths) {
  const std::set<unsigned char> polish = {0xA5, 0xA4, 0x86, 0x8F, 0xA9, 0xA8, 0x88, 0x9D, 0xE4,
                                          0xE3, 0xA2, 0xE0, 0x98, 0x97, 0xAB, 0x8D, 0xBE, 0xBD};
  std::set<unsigned char> normal, wide;
  for (const auto& line : receiptLines()) {
    for (unsigned char c : line.text) (line.doubleWidth ? wide : normal).insert(c);
  }
  for (unsigned char letter : polish) {
    EXPECT_TRUE(normal.count(letter)) << std::hex << int(letter) << " missing in normal width";
    EXPECT_TRUE(wide.count(letter)) << std::hex << int(letter) << " missing in double width";
  }
}

TEST(Receipt, IsPrintedWithTheStoredFont) {
  const ::voren::test::TempDir folder("voren-receipt");
  ASSERT_TRUE(folder.made());
  const std::string blankPath = folder.file("receipt-blank.png");
  const std::string fontPath = folder.file("receipt-font.png");
  std::vector<std::uint8_t> blank(kMemorySize, 0);
  std::string error;
  ASSERT_TRUE(writeReceipt(blank, blankPath, &error)) << error;
  ASSERT_TRUE(writeReceipt(glyphTable(), fontPath, &error)) << error;
  std::string blankPng = readAll(blankPath), fontPng = readAll(fontPath);
  EXPECT_EQ(fontPng.substr(0, 4), "\x89PNG");
  EXPECT_NE(blankPng, fontPng);

  EXPECT_FALSE(writeReceipt(std::span(blank).first(100), fontPath, &error));
  EXPECT_FALSE(writeReceipt(glyphTable(), "/nonexistent/dir/receipt.png", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace voren::sim
