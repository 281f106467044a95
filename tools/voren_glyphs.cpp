// voren-glyphs: pictures of the glyph table the updater sends, or of a table
// file (an operator's own font from make_glyph_table.py --table), and the
// table itself.
//   voren-glyphs [--table FILE] [--sheet FILE] [--sample FILE] [--raw FILE]
// Without --sheet, --sample or --raw it writes glyph-sheet.png and
// glyph-sample.png here.
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/font_file.h"
#include "app/glyph_table.h"
#include "tools/cp852_text.h"
#include "tools/glyph_render/glyph_render.h"

namespace {

using voren::render::PrintLine;

std::vector<PrintLine> sampleLines() {
  const char* normal[] = {
      "Zażółć gęślą jaźń",
      "AĄBCĆDEĘFGHIJKLŁMNŃOÓPRSŚTUWYZŹŻ",
      "aąbcćdeęfghijklłmnńoóprsśtuwyzźż",
      "0123456789  m² 10⁵  € ✓ ☎ ✂",
      "┌──────────────┬───────┐",
      "│ Chleb żytni  │  4,50 │",
      "│ Masło 200 g  │  7,99 │",
      "├──────────────┼───────┤",
      "│ Razem        │ 12,49 │",
      "└──────────────┴───────┘",
      "╔═══════════════╗",
      "║  Dziękujemy!  ║",
      "╚═══════════════╝",
  };
  const char* wide[] = {
      "Zażółć gęślą jaźń", "AĄBCĆDEĘFGHIJKLŁ", "MNŃOÓPRSŚTUWYZŹŻ",
      "aąbcćdeęfghijklł",  "mnńoóprsśtuwyzźż", "0123456789 ⁰¹²³⁴",
      "┌─────┬──────┐",    "│ SUMA│ 12,49│",   "└─────┴──────┘",
  };
  std::vector<PrintLine> lines;
  for (const char* s : normal) lines.push_back({voren::tools::toCp852(s), false});
  lines.push_back({"", false});
  for (const char* s : wide) lines.push_back({voren::tools::toCp852(s), true});
  return lines;
}

bool writeRaw(voren::render::GlyphTable table, const std::string& path) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(table.data()),
            static_cast<std::streamsize>(table.size()));
  out.close();
  if (!out) std::fprintf(stderr, "voren-glyphs: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

bool writePicture(const voren::render::Image& image, const std::string& path) {
  std::string error;
  if (voren::render::writePng(image, path, error)) return true;
  std::fprintf(stderr, "voren-glyphs: %s\n", error.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::string tableFile, sheet, sample, raw;
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    std::string* target = opt == "--table"    ? &tableFile
                          : opt == "--sheet"  ? &sheet
                          : opt == "--sample" ? &sample
                          : opt == "--raw"    ? &raw
                                              : nullptr;
    if (!target || i + 1 == argc) {
      std::fprintf(
          stderr,
          "usage: voren-glyphs [--table FILE] [--sheet FILE] [--sample FILE] [--raw FILE]\n");
      return 2;
    }
    *target = argv[++i];
  }
  if (sheet.empty() && sample.empty() && raw.empty()) {
    sheet = "glyph-sheet.png";
    sample = "glyph-sample.png";
  }
  std::optional<voren::FontFile> loaded;
  if (!tableFile.empty()) {
    std::string error;
    loaded = voren::readFontFile(tableFile, error);
    if (!loaded) {
      std::fprintf(stderr, "voren-glyphs: %s\n", error.c_str());
      return 1;
    }
  }
  const voren::render::GlyphTable table(loaded ? loaded->bytes.data() : voren::glyphTable().data(),
                                        voren::kGlyphTableSize);
  bool ok = true;
  if (!sheet.empty()) ok &= writePicture(voren::render::renderSheet(table), sheet);
  if (!sample.empty()) ok &= writePicture(voren::render::renderPrint(table, sampleLines()), sample);
  if (!raw.empty()) ok &= writeRaw(table, raw);
  return ok ? 0 : 1;
}
