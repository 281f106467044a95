#pragma once
// Texts of the unit are kept in code page 1250, the code page of the
// operators' Windows; the sources stay readable UTF-8 and are converted here,
// at compile time. A letter outside the Polish alphabet fails the build.
#include <cstddef>
#include <string_view>

namespace winseria {

template <std::size_t N>
struct Cp1250Text {
  char bytes[N]{};
  std::size_t size = 0;

  constexpr std::string_view view() const { return {bytes, size}; }
  constexpr operator std::string_view() const { return view(); }
};

namespace detail {

consteval char polishLetter(unsigned codePoint) {
  switch (codePoint) {
    case 0x0105:
      return '\xB9';  // ą
    case 0x0107:
      return '\xE6';  // ć
    case 0x0119:
      return '\xEA';  // ę
    case 0x0142:
      return '\xB3';  // ł
    case 0x0144:
      return '\xF1';  // ń
    case 0x00F3:
      return '\xF3';  // ó
    case 0x015B:
      return '\x9C';  // ś
    case 0x017A:
      return '\x9F';  // ź
    case 0x017C:
      return '\xBF';  // ż
    case 0x0104:
      return '\xA5';  // Ą
    case 0x0106:
      return '\xC6';  // Ć
    case 0x0118:
      return '\xCA';  // Ę
    case 0x0141:
      return '\xA3';  // Ł
    case 0x0143:
      return '\xD1';  // Ń
    case 0x00D3:
      return '\xD3';  // Ó
    case 0x015A:
      return '\x8C';  // Ś
    case 0x0179:
      return '\x8F';  // Ź
    case 0x017B:
      return '\xAF';  // Ż
  }
  throw "letter outside code page 1250's Polish set";
}

}  // namespace detail

template <std::size_t N>
consteval Cp1250Text<N> cp1250(const char (&utf8)[N]) {
  Cp1250Text<N> text;
  for (std::size_t i = 0; i + 1 < N; ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      text.bytes[text.size++] = utf8[i];
    } else if ((lead & 0xE0) == 0xC0 && i + 2 < N) {
      const auto next = static_cast<unsigned char>(utf8[++i]);
      text.bytes[text.size++] = detail::polishLetter(((lead & 0x1Fu) << 6) | (next & 0x3Fu));
    } else {
      throw "not a two-byte UTF-8 letter";
    }
  }
  return text;
}

}  // namespace winseria
