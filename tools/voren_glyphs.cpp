// voren-glyphs: pictures of the glyph table the updater sends, or of a table
// file (an operator's own font from make_glyph_table.py --table), and the
// table itself.
//   voren-glyphs [--table FILE] [--sheet FILE] [--sample FILE] [--raw FILE] [--help]
// Without --sheet, --sample or --raw it writes glyph-sheet.png and
// glyph-sample.png here.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/font_file.h"
#include "app/glyph_table.h"
#include "platform/files/files.h"
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

constexpr const char* kUsage =
    "usage: voren-glyphs [--table FILE] [--sheet FILE] [--sample FILE] [--raw FILE]\n";

constexpr const char* kHelp =
    "\n"
    "Draws the glyph table voren-cp852 uploads, or a table file, as PNG pictures.\n"
    "\n"
    "  --table FILE   draw this 36864-byte table file instead of the built-in table\n"
    "  --sheet FILE   the three banks as 16 x 16 grids, each cell labelled\n"
    "  --sample FILE  sample text as the printer prints it, normal and double width\n"
    "  --raw FILE     the 36864 bytes of the table\n"
    "  --help         print this text\n"
    "\n"
    "Without --sheet, --sample or --raw: glyph-sheet.png and glyph-sample.png here.\n"
    "Each option at most once; no file named for two of them.\n"
    "\n"
    "Exit status: 0 every file written, 1 the table file unreadable or a file not\n"
    "written, 2 a bad command line.\n";

int badCommandLine(const std::string& error) {
  std::fprintf(stderr, "voren-glyphs: %s\n%s", error.c_str(), kUsage);
  return 2;
}

// Which file a path names: the file itself when it is there, else the folder
// a write makes it in and its name, so that "a.png", "./a.png" and a link to
// a new a.png are one new file too.
struct Place {
  voren::FileIdentity identity;
  std::string newName;  // empty when the file exists
  bool operator==(const Place&) const = default;
};

std::optional<Place> placeOf(std::filesystem::path name) {
  std::string reason;
  // As many links as the system follows before it gives up (ELOOP).
  for (int links = 0; links <= 40; ++links) {
    if (const auto file = voren::fileAt(name.string(), reason)) return Place{file->identity, {}};
    // A link to a file not there yet: a write through it makes its target.
    std::error_code error;
    if (!std::filesystem::is_symlink(name, error)) break;
    const std::filesystem::path target = std::filesystem::read_symlink(name, error);
    if (error) break;
    name = name.parent_path() / target;
  }
  const auto folder =
      voren::fileAt(name.has_parent_path() ? name.parent_path().string() : ".", reason);
  // No folder to look at: the write names the reason.
  if (!folder) return std::nullopt;
  return Place{folder->identity, name.filename().string()};
}

struct Option {
  std::string_view name;
  std::string value;
};

// Two options that would write one file (or overwrite the table drawn) cannot
// both be done; the first such pair, or nothing.
std::string sharedFile(const std::vector<const Option*>& files) {
  std::vector<std::optional<Place>> places;
  for (const Option* option : files) places.push_back(placeOf(option->value));
  for (std::size_t i = 0; i < files.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      if (places[i] && places[i] == places[j]) {
        return std::string(files[j]->name) + " and " + std::string(files[i]->name) +
               " name one file '" + files[i]->value + "'";
      }
    }
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  // A picture opened as a closed descriptor 2 would take libpng's warnings.
  voren::openClosedStandardStreams();
  Option table{"--table", {}}, sheet{"--sheet", {}}, sample{"--sample", {}}, raw{"--raw", {}};
  for (int i = 1; i < argc; ++i) {
    const std::string_view opt = argv[i];
    if (opt == "--help") {
      std::fputs(kUsage, stdout);
      std::fputs(kHelp, stdout);
      // Help that never reached its file (a full disk) is no success.
      if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
      std::fprintf(stderr, "voren-glyphs: write error: %s\n", std::strerror(errno));
      return 1;
    }
    Option* target = nullptr;
    for (Option* o : {&table, &sheet, &sample, &raw}) {
      if (opt == o->name) target = o;
    }
    if (!target) return badCommandLine("unknown option '" + std::string(opt) + "'");
    if (i + 1 == argc || argv[i + 1][0] == '\0') {
      return badCommandLine(std::string(opt) + " needs a file");
    }
    if (!target->value.empty()) return badCommandLine(std::string(opt) + " given twice");
    target->value = argv[++i];
  }
  if (sheet.value.empty() && sample.value.empty() && raw.value.empty()) {
    sheet.value = "glyph-sheet.png";
    sample.value = "glyph-sample.png";
  }
  std::vector<const Option*> files;
  for (const Option* o : {&table, &sheet, &sample, &raw}) {
    if (!o->value.empty()) files.push_back(o);
  }
  if (const std::string shared = sharedFile(files); !shared.empty()) {
    return badCommandLine(shared);
  }
  std::optional<voren::FontFile> loaded;
  if (!table.value.empty()) {
    std::string error;
    loaded = voren::readFontFile(table.value, error);
    if (!loaded) {
      std::fprintf(stderr, "voren-glyphs: %s\n", error.c_str());
      return 1;
    }
  }
  const voren::render::GlyphTable glyphs(loaded ? loaded->bytes.data() : voren::glyphTable().data(),
                                         voren::kGlyphTableSize);
  bool ok = true;
  if (!sheet.value.empty()) ok &= writePicture(voren::render::renderSheet(glyphs), sheet.value);
  if (!sample.value.empty()) {
    ok &= writePicture(voren::render::renderPrint(glyphs, sampleLines()), sample.value);
  }
  if (!raw.value.empty()) ok &= writeRaw(glyphs, raw.value);
  return ok ? 0 : 1;
}
