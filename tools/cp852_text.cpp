#include "tools/cp852_text.h"

#include <map>

namespace voren::tools {

namespace {

struct CodePoint {
  int code;
  long unicode;
};

constexpr CodePoint kDrawn[] = {
#include "glyph_codepoints.inc"
};

const std::map<long, char>& byUnicode() {
  static const std::map<long, char> m = [] {
    std::map<long, char> m;
    // Printable codes first, so ',' and '.' are 0x2C and 0x2E rather than
    // their shifted forms at 0x18 and 0x19.
    for (int pass = 0; pass < 2; ++pass)
      for (auto [code, u] : kDrawn)
        if ((code >= 0x20) == (pass == 0) && u >= 0) m.emplace(u, static_cast<char>(code));
    return m;
  }();
  return m;
}

// Next code point of `s` from `i`, or -1 for a malformed sequence (one byte skipped).
long nextCodePoint(std::string_view s, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(s[i++]);
  int more = lead < 0x80         ? 0
             : (lead >> 5) == 6  ? 1
             : (lead >> 4) == 14 ? 2
             : (lead >> 3) == 30 ? 3
                                 : -1;
  if (more < 0) return -1;
  long u = more == 0 ? lead : lead & (0x3F >> more);
  for (; more > 0; --more) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return -1;
    u = u << 6 | (static_cast<unsigned char>(s[i++]) & 0x3F);
  }
  return u;
}

}  // namespace

std::string toCp852(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const long u = nextCodePoint(utf8, i);
    const auto found = byUnicode().find(u);
    out += found == byUnicode().end() ? '?' : found->second;
  }
  return out;
}

}  // namespace voren::tools
