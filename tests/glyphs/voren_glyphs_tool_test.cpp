// The voren-glyphs tool: the raw table it writes is the one the updater sends,
// and sample text reaches it as the table's own codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/glyph_table.h"
#include "tools/cp852_text.h"

namespace voren::tools {
namespace {

namespace fs = std::filesystem;

int run(const std::string& args) {
  return WEXITSTATUS(std::system((std::string(VOREN_GLYPHS_TOOL) + " " + args).c_str()));
}

TEST(GlyphTool, RawTableIsTheUpdatersTable) {
  const fs::path dir = fs::temp_directory_path() / "voren_glyphs_tool_test";
  fs::create_directories(dir);
  ASSERT_EQ(run("--raw " + (dir / "t.bin").string() + " --sheet " + (dir / "s.png").string()), 0);
  std::ifstream in(dir / "t.bin", std::ios::binary);
  const std::vector<char> raw{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(raw.size(), kGlyphTableSize);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), glyphTable().begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
  EXPECT_GT(fs::file_size(dir / "s.png"), 1000u);
  fs::remove_all(dir);
}

TEST(GlyphTool, RefusesUnknownOptionsAndUnwritablePaths) {
  EXPECT_EQ(run("--sheets x.png 2>/dev/null"), 2);
  EXPECT_EQ(run("--raw 2>/dev/null"), 2);
  EXPECT_EQ(run("--raw /nonexistent-dir/t.bin 2>/dev/null"), 1);
}

TEST(GlyphTool, SampleTextUsesTheCodePagePositions) {
  EXPECT_EQ(toCp852("Zażółć, gęślą."), "Za\xBE\xA2\x88\x86, g\xA9\x98l\xA5.");
  EXPECT_EQ(toCp852("ŁÓDŹ ĄĘ"), "\x9D\xE0\x44\x8D \xA4\xA8");
  EXPECT_EQ(toCp852("╔═╗ ² €"), "\xC9\xCD\xBB \x02 \x0A");
  // What the table lacks, and broken UTF-8, print as question marks.
  EXPECT_EQ(toCp852("ñ\xC5"), "??");
}

}  // namespace
}  // namespace voren::tools
