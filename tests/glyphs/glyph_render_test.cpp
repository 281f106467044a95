// Pictures of a glyph table: dots land where the table puts them, in both
// widths, and the PNG holds the picture.
#include "tools/glyph_render/glyph_render.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tools/glyph_render/hex_label.h"

namespace voren::render {
namespace {

using Table = std::array<std::uint8_t, 36864>;

// A table whose glyph `code` of `bank` is a single dot at (row, x).
Table oneDot(int bank, int code, int row, int x) {
  Table t{};
  t[12288 * bank + 48 * code + 2 * row + x / 8] = static_cast<std::uint8_t>(0x80 >> (x % 8));
  return t;
}

bool inked(const Image& image, int x, int y) { return image.at(x, y).r < 128; }

int inkedPixels(const Image& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) n += inked(image, x, y);
  return n;
}

TEST(GlyphRender, PrintedDotsLandWhereTheTablePutsThem) {
  const Table t = oneDot(0, 'A', 5, 7);
  const PrintLine line{"xA", false};
  const Image image = renderPrint(t, std::span(&line, 1), {.scale = 4, .lineGap = 0, .margin = 2});
  EXPECT_EQ(image.width(), (20 + 4) * 4);
  EXPECT_EQ(image.height(), (24 + 4) * 4);
  // Second character, dot 7 of row 5, after a margin of two dots.
  EXPECT_TRUE(inked(image, (2 + 10 + 7) * 4 + 2, (2 + 5) * 4 + 2));
  EXPECT_FALSE(inked(image, (2 + 7) * 4 + 2, (2 + 5) * 4 + 2));
  EXPECT_GT(inkedPixels(image), 4);
  EXPECT_LT(inkedPixels(image), 40);
}

TEST(GlyphRender, DoubleWidthTakesBothHalvesFromTheirBanks) {
  // 'A' (0x41) in double width: bank 1, glyphs 0x82 and 0x83; 0xA5: bank 2, 0x4A and 0x4B.
  Table t = oneDot(1, 0x83, 0, 0);
  t[12288 * 2 + 48 * 0x4A] = 0x80;
  const PrintLine lines[] = {{"A", true}, {"\xA5", true}};
  const Image image = renderPrint(t, lines, {.scale = 2, .lineGap = 3, .margin = 0});
  EXPECT_EQ(image.width(), 20 * 2);
  EXPECT_EQ(image.height(), (24 + 3 + 24) * 2);
  EXPECT_TRUE(inked(image, 10 * 2 + 1, 1));
  EXPECT_TRUE(inked(image, 1, 27 * 2 + 1));
  EXPECT_FALSE(inked(image, 1, 1));
}

TEST(GlyphRender, NonsenseStyleIsTakenAsTheSmallestSensibleOne) {
  const Table t = oneDot(0, 'A', 0, 0);
  const PrintLine line{"A", false};
  const Image image =
      renderPrint(t, std::span(&line, 1), {.scale = -3, .lineGap = -1, .margin = -5});
  EXPECT_EQ(image.width(), 10);
  EXPECT_EQ(image.height(), 24);
  EXPECT_TRUE(inked(image, 0, 0));
  EXPECT_EQ(renderSheet(t, 0).width(), renderSheet(t, 1).width());
}

TEST(GlyphRender, SheetShowsEveryGlyphOfEveryBank) {
  const Table empty{};
  const Image blank = renderSheet(empty);
  for (int bank = 0; bank < 3; ++bank) {
    const Image one = renderSheet(oneDot(bank, 0xFF, 23, 9));
    EXPECT_EQ(one.width(), blank.width());
    EXPECT_EQ(inkedPixels(one) - inkedPixels(blank), 9) << bank;  // a 3 x 3 dot at scale 3
  }
}

// The image drawn as text, '#' for ink.
std::vector<std::string> picture(const Image& image) {
  std::vector<std::string> rows;
  for (int y = 0; y < image.height(); ++y) {
    std::string row;
    for (int x = 0; x < image.width(); ++x) row += inked(image, x, y) ? '#' : '.';
    rows.push_back(row);
  }
  return rows;
}

TEST(GlyphRender, LabelsAndFramesAreDrawnDotForDot) {
  Image label(9, 7, {255, 255, 255});
  drawHex(label, 0x2C, 2, 1, 1, 1, {0, 0, 0});
  EXPECT_EQ(picture(label),
            (std::vector<std::string>{".........", ".###..##.", "...#.#...", ".###.#...",
                                      ".#...#...", ".###..##.", "........."}));
  Image framed(6, 5, {255, 255, 255});
  framed.frame(1, 1, 4, 3, {0, 0, 0});
  EXPECT_EQ(picture(framed),
            (std::vector<std::string>{"......", ".####.", ".#..#.", ".####.", "......"}));
}

TEST(GlyphRender, PngHoldsThePicture) {
  Image image(7, 3, {255, 255, 255});
  image.fillRect(2, 1, 3, 1, {10, 20, 30});
  const test::TempDir folder("voren-glyph-render");
  ASSERT_TRUE(folder.made());
  const auto path = std::filesystem::path(folder.file("picture.png"));
  std::string error;
  ASSERT_TRUE(writePng(image, path.string(), error)) << error;

  png_image read{};
  read.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&read, path.string().c_str()));
  read.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> pixels(PNG_IMAGE_SIZE(read));
  ASSERT_TRUE(png_image_finish_read(&read, nullptr, pixels.data(), 0, nullptr));
  EXPECT_EQ(read.width, 7u);
  EXPECT_EQ(read.height, 3u);
  EXPECT_EQ(pixels, image.pixels());

  EXPECT_FALSE(writePng(image, "/nonexistent-dir/x.png", error));
  EXPECT_NE(error.find("/nonexistent-dir/x.png"), std::string::npos);
}

}  // namespace
}  // namespace voren::render
