// The voren-glyphs tool: the raw table it writes is the one the updater sends,
// it draws a table file as the library draws those bytes, and sample text
// reaches it as the table's own codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/glyph_table.h"
#include "tests/support/temp_dir.h"
#include "tools/cp852_text.h"
#include "tools/glyph_render/glyph_render.h"

namespace voren::tools {
namespace {

namespace fs = std::filesystem;

int run(const std::string& args) {
  return WEXITSTATUS(std::system((std::string(VOREN_GLYPHS_TOOL) + " " + args).c_str()));
}

TEST(GlyphTool, RawTableIsTheUpdatersTable) {
  const test::TempDir folder("voren-glyphs-tool");
  ASSERT_TRUE(folder.made());
  const fs::path dir = folder.path();
  ASSERT_EQ(run("--raw " + (dir / "t.bin").string() + " --sheet " + (dir / "s.png").string()), 0);
  std::ifstream in(dir / "t.bin", std::ios::binary);
  const std::vector<char> raw{std::istreambuf_iterator<char>(in), {}};
  ASSERT_EQ(raw.size(), kGlyphTableSize);
  EXPECT_TRUE(std::equal(raw.begin(), raw.end(), glyphTable().begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));
  EXPECT_GT(fs::file_size(dir / "s.png"), 1000u);
}

std::vector<char> contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void write(const fs::path& path, const std::vector<char>& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
}

TEST(GlyphTool, DrawsATableFileAsTheLibraryDrawsItsBytes) {
  const test::TempDir folder("voren-glyphs-tool-table");
  ASSERT_TRUE(folder.made());
  const fs::path dir = folder.path();
  // The built-in table with 'A' redrawn as a full block of dots 0 to 9.
  std::vector<char> custom(glyphTable().begin(), glyphTable().end());
  for (int row = 0; row < 24; ++row) {
    custom[48 * 'A' + 2 * row] = '\xFF';
    custom[48 * 'A' + 2 * row + 1] = '\xC0';
  }
  write(dir / "my-font.bin", custom);
  ASSERT_EQ(
      run("--table " + (dir / "my-font.bin").string() + " --sheet " + (dir / "sheet.png").string() +
          " --sample " + (dir / "sample.png").string() + " --raw " + (dir / "raw.bin").string()),
      0);
  ASSERT_EQ(run("--sheet " + (dir / "built-in-sheet.png").string() + " --sample " +
                (dir / "built-in-sample.png").string()),
            0);

  std::string error;
  const render::GlyphTable table(reinterpret_cast<const std::uint8_t*>(custom.data()),
                                 kGlyphTableSize);
  ASSERT_TRUE(render::writePng(render::renderSheet(table), (dir / "expected.png").string(), error))
      << error;
  EXPECT_EQ(contents(dir / "sheet.png"), contents(dir / "expected.png"));
  EXPECT_NE(contents(dir / "sheet.png"), contents(dir / "built-in-sheet.png"));
  EXPECT_NE(contents(dir / "sample.png"), contents(dir / "built-in-sample.png"));  // it has an A
  EXPECT_EQ(contents(dir / "raw.bin"), custom);
}

TEST(GlyphTool, RefusesATableFileThatIsNoTableAndDrawsNothing) {
  const test::TempDir folder("voren-glyphs-tool-bad-table");
  ASSERT_TRUE(folder.made());
  const fs::path dir = folder.path();
  fs::create_directories(dir / "a-folder");
  write(dir / "short.bin", std::vector<char>(100, '\0'));
  write(dir / "long.bin", std::vector<char>(kGlyphTableSize + 1, '\0'));
  const std::pair<std::string, std::string> cases[] = {
      {"short.bin", "100 bytes"},
      {"long.bin", "36865 bytes"},
      {"a-folder", "a directory"},
      {"missing.bin", "cannot be read"},
  };
  for (const auto& [name, reason] : cases) {
    const fs::path table = dir / name;
    EXPECT_EQ(run("--table " + table.string() + " --sheet " + (dir / "sheet.png").string() + " 2>" +
                  (dir / "error.txt").string()),
              1)
        << name;
    const std::vector<char> error = contents(dir / "error.txt");
    const std::string message(error.begin(), error.end());
    EXPECT_NE(message.find(table.string()), std::string::npos) << message;
    EXPECT_NE(message.find(reason), std::string::npos) << message;
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    EXPECT_FALSE(fs::exists(dir / "sheet.png")) << name;
  }
}

TEST(GlyphTool, RefusesUnknownOptionsAndUnwritablePaths) {
  EXPECT_EQ(run("--sheets x.png 2>/dev/null"), 2);
  EXPECT_EQ(run("--raw 2>/dev/null"), 2);
  EXPECT_EQ(run("--table 2>/dev/null"), 2);
  EXPECT_EQ(run("--raw /nonexistent-dir/t.bin 2>/dev/null"), 1);
}

// What cannot all be done is refused before anything is written: an option
// twice, two options writing one file, an output over the table drawn.
TEST(GlyphTool, CommandLinesThatCannotAllBeDoneWriteNothing) {
  const test::TempDir folder("voren-glyphs-tool-command-line");
  ASSERT_TRUE(folder.made());
  const fs::path dir = folder.path();
  const std::vector<char> font(glyphTable().begin(), glyphTable().end());
  write(dir / "font.bin", font);
  fs::create_symlink(dir / "font.bin", dir / "font-link.bin");
  // Links to files not made yet: writing through either makes a.png.
  fs::create_symlink("a.png", dir / "to-a.png");
  fs::create_symlink("to-a.png", dir / "to-to-a.png");
  const struct {
    const char* arguments;
    const char* error;
  } rows[] = {
      {"--sheet a.png --sheet b.png", "--sheet given twice"},
      {"--raw t.bin --sample s.png --raw u.bin", "--raw given twice"},
      {"--sheet a.png --sample ./a.png", "--sheet and --sample name one file './a.png'"},
      {"--table font.bin --raw font-link.bin", "--table and --raw name one file"},
      {"--table glyph-sample.png", "--table and --sample name one file"},
      {"--sheet a.png --raw to-to-a.png", "--sheet and --raw name one file"},
      {"--sheet to-a.png --sample to-to-a.png", "--sheet and --sample name one file"},
      {"--sheet", "--sheet needs a file"},
      {"--sheets x.png", "unknown option '--sheets'"},
  };
  for (const auto& row : rows) {
    const std::string command = "cd " + dir.string() + " && " + VOREN_GLYPHS_TOOL + " " +
                                row.arguments + " >out.txt 2>error.txt";
    EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 2) << row.arguments;
    const std::vector<char> error = contents(dir / "error.txt");
    const std::string message(error.begin(), error.end());
    EXPECT_TRUE(message.starts_with(std::string("voren-glyphs: ") + row.error)) << message;
    EXPECT_NE(message.find("\nusage: voren-glyphs "), std::string::npos) << message;
    EXPECT_EQ(contents(dir / "font.bin"), font) << row.arguments;
    for (const char* name : {"a.png", "b.png", "s.png", "t.bin", "u.bin", "glyph-sheet.png"}) {
      EXPECT_FALSE(fs::exists(dir / name)) << row.arguments << ": " << name;
    }
  }
  // Help is asked for, not a mistake: stdout and status 0.
  EXPECT_EQ(run("--help >" + (dir / "out.txt").string() + " 2>" + (dir / "error.txt").string()), 0);
  const std::vector<char> help = contents(dir / "out.txt");
  EXPECT_TRUE(std::string(help.begin(), help.end()).starts_with("usage: voren-glyphs "));
  EXPECT_TRUE(contents(dir / "error.txt").empty());
  // Help that never reached its file is a failure, as for voren-cp852 --help.
  EXPECT_EQ(run("--help >/dev/full 2>" + (dir / "error.txt").string()), 1);
  const std::vector<char> error = contents(dir / "error.txt");
  EXPECT_TRUE(std::string(error.begin(), error.end()).starts_with("voren-glyphs: write error: "));
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
